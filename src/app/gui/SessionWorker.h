#pragma once

#include "comm/ConnectionDescription.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace dlu {
class ChannelFactory;
class Connection;
class Messages;
class Prompter;
class SystemClock;
} // namespace dlu

namespace dlu::gui {

// The one thread that talks to the PLC. It owns the channel factory and the live connection
// (both made on that thread, since the Qt channels block and belong to the thread that uses
// them) and runs one job at a time; the window thread stays free to paint, to serve timers and
// to show the prompter's questions while a job waits for the answer.
class SessionWorker final : public QObject {
    Q_OBJECT
public:
    using Job = std::function<bool(Connection&)>;
    using Done = std::function<void(bool ok)>;
    // Makes the channel factory; called once, on the worker thread. Without one the Qt channels
    // are used.
    using FactoryMaker = std::function<std::unique_ptr<ChannelFactory>()>;

    SessionWorker(Prompter& prompter, const Messages& messages, FactoryMaker makeFactory = {},
                  QObject* parent = nullptr);
    // Waits for the running job, drops the connection on its thread and ends the thread.
    ~SessionWorker() override;

    // The description the next connection is made from; a live connection of another
    // description is dropped before the next job.
    void setSpec(const ConnectionDescription& spec);
    ConnectionDescription spec() const;

    // Runs `job` on the worker thread with the live connection (made from the current
    // description when there is none); `done(ok)` is then called on the window thread.
    // Returns at once.
    void run(Job job, Done done = {});
    // The same, while the caller waits in a local event loop (the window keeps painting).
    bool runAndWait(Job job);
    bool busy() const { return running_ > 0; }
    // Returns once no job runs, serving events meanwhile.
    void waitIdle();

public slots:
    // Ends the modem call being dialled: the dial-up sequence hangs up at its next poll and
    // the job's connect fails. Any thread; a new job starts with the request cleared.
    void cancelDialUp() { dialUpCancel_.store(true); }

signals:
    // The modem's progress while a dial-up line dials (from the worker thread).
    void dialUpStatus(const QString& phone, int elapsedSeconds, const QString& status);
    void dialUpFinished(bool connected);
    // Before each protocol test of a connect ("Connecting to 127.0.0.1:10523 (attempt 2 of
    // 4)"), and an empty text when the connect phase is over (from the worker thread).
    void connectStatus(const QString& text);
    void idle();

private:
    class Host;

    Connection& connection(); // worker thread only

    Prompter& prompter_;
    const Messages& messages_;
    FactoryMaker makeFactory_;
    QThread* thread_;
    Host* host_; // lives on thread_
    int running_ = 0;
    std::atomic<bool> dialUpCancel_{false};

    mutable std::mutex specMutex_;
    ConnectionDescription spec_;
    bool specChanged_ = true;

    // Worker thread only.
    std::unique_ptr<ChannelFactory> factory_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<SystemClock> clock_;
};

} // namespace dlu::gui
