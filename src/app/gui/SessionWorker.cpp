#include "app/gui/SessionWorker.h"

#include "comm/Connection.h"
#include "comm/channels/QtChannelFactory.h"
#include "common/Clock.h"

#include <QEventLoop>
#include <QThread>

namespace dlu::gui {

// The object that receives the jobs on the worker thread.
class SessionWorker::Host final : public QObject {};

SessionWorker::SessionWorker(Prompter& prompter, const Messages& messages, FactoryMaker makeFactory,
                             QObject* parent)
    : QObject(parent), prompter_(prompter), messages_(messages),
      makeFactory_(std::move(makeFactory)), thread_(new QThread(this)), host_(new Host) {
    thread_->setObjectName(QStringLiteral("session"));
    host_->moveToThread(thread_);
    connect(thread_, &QThread::finished, host_, &QObject::deleteLater);
    thread_->start();
}

SessionWorker::~SessionWorker() {
    waitIdle();
    // The connection closes its channel on the thread that made it.
    QMetaObject::invokeMethod(
        host_,
        [this] {
            connection_.reset();
            factory_.reset();
        },
        Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void SessionWorker::setSpec(const ConnectionDescription& spec) {
    const std::lock_guard lock(specMutex_);
    if (!(spec == spec_)) {
        spec_ = spec;
        specChanged_ = true;
    }
}

ConnectionDescription SessionWorker::spec() const {
    const std::lock_guard lock(specMutex_);
    return spec_;
}

Connection& SessionWorker::connection() {
    if (!factory_) {
        factory_ = makeFactory_ ? makeFactory_() : std::make_unique<QtChannelFactory>();
        clock_ = std::make_unique<SystemClock>();
    }
    ConnectionDescription spec;
    bool changed = false;
    {
        const std::lock_guard lock(specMutex_);
        spec = spec_;
        changed = specChanged_;
        specChanged_ = false;
    }
    if (!connection_ || changed) {
        connection_.reset(); // closes the old channel first
        connection_ = std::make_unique<Connection>(spec, *factory_, prompter_, messages_, *clock_);
        connection_->setDialUpStatusSink([this](const DialUpStatus& st) {
            emit dialUpStatus(QString::fromStdString(st.phone), st.elapsed,
                              QString::fromStdString(st.status));
        });
        connection_->setDialUpDoneSink([this](bool connected) { emit dialUpFinished(connected); });
        connection_->setDialUpCancelCheck([this] { return dialUpCancel_.load(); });
        connection_->session().setConnectStatusSink([this](std::string_view text) {
            emit connectStatus(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        });
    }
    return *connection_;
}

void SessionWorker::run(Job job, Done done) {
    ++running_;
    QMetaObject::invokeMethod(
        host_,
        [this, job = std::move(job), done = std::move(done)]() mutable {
            // A cancel meant for an earlier call does not end this job's call.
            dialUpCancel_.store(false);
            const bool ok = job(connection());
            QMetaObject::invokeMethod(
                this,
                [this, ok, done = std::move(done)] {
                    --running_;
                    if (done) {
                        done(ok);
                    }
                    if (running_ == 0) {
                        emit idle();
                    }
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool SessionWorker::runAndWait(Job job) {
    QEventLoop loop;
    bool result = false;
    bool finished = false;
    run(std::move(job), [&](bool ok) {
        result = ok;
        finished = true;
        loop.quit();
    });
    if (!finished) {
        loop.exec();
    }
    return result;
}

void SessionWorker::waitIdle() {
    if (running_ == 0) {
        return;
    }
    QEventLoop loop;
    connect(this, &SessionWorker::idle, &loop, &QEventLoop::quit);
    while (running_ > 0) {
        loop.exec();
    }
}

} // namespace dlu::gui
