#include "app/gui/GuiPrompter.h"

#include "download/gui/DialogUnits.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace dlu::gui {

namespace {

QMessageBox::StandardButtons standardButtons(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::Ok:
        return QMessageBox::Ok;
    case PromptButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoDefaultNo:
        return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case PromptButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon boxIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::None:
        return QMessageBox::NoIcon;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Stop:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A box closed without a button (Escape, the close box) answers the "no" side of its buttons.
PromptAnswer answerOf(int clicked, PromptButtons buttons) {
    switch (clicked) {
    case QMessageBox::Ok:
        return PromptAnswer::Ok;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Retry:
        return PromptAnswer::Retry;
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    default:
        break;
    }
    switch (buttons) {
    case PromptButtons::Ok:
        return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoDefaultNo:
        return PromptAnswer::No;
    default:
        return PromptAnswer::Cancel;
    }
}

} // namespace

GuiPrompter::GuiPrompter(QWidget* mainWindow) : mainWindow_(mainWindow) {}

QWidget* GuiPrompter::parentWindow() const {
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
        return modal;
    }
    return mainWindow_.data();
}

void GuiPrompter::onWindowThread(const std::function<void()>& show) {
    QObject* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        show();
        return;
    }
    QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
}

std::unique_ptr<QMessageBox> GuiPrompter::makeBox(const QString& text, PromptButtons buttons,
                                                  PromptIcon icon, const QString& cause,
                                                  QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(boxIcon(icon), QApplication::applicationDisplayName(),
                                             text, standardButtons(buttons), parent);
    box->setObjectName(QStringLiteral("prompt"));
    if (buttons == PromptButtons::YesNoDefaultNo) {
        box->setDefaultButton(QMessageBox::No);
    }
    if (!cause.isEmpty()) {
        box->setInformativeText(cause);
    }
    return box;
}

PromptAnswer GuiPrompter::showMessage(const QString& text, PromptButtons buttons, PromptIcon icon,
                                      const QString& cause) {
    const auto box = makeBox(text, buttons, icon, cause, parentWindow());
    return answerOf(box->exec(), buttons);
}

void GuiPrompter::keep(std::string_view text, std::string_view cause, PromptButtons buttons) {
    if (buttons != PromptButtons::Ok) {
        return;
    }
    const std::lock_guard lock(lastMutex_);
    last_.assign(text);
    if (!cause.empty()) {
        last_ += '\n';
        last_ += cause;
    }
}

void GuiPrompter::forgetLastMessage() {
    const std::lock_guard lock(lastMutex_);
    last_.clear();
}

std::string GuiPrompter::lastMessage() const {
    const std::lock_guard lock(lastMutex_);
    return last_;
}

PromptAnswer GuiPrompter::message(std::string_view text, PromptButtons buttons, PromptIcon icon) {
    keep(text, {}, buttons);
    const QString qt = qtext(text);
    PromptAnswer answer = PromptAnswer::Cancel;
    onWindowThread([&] { answer = showMessage(qt, buttons, icon); });
    return answer;
}

void GuiPrompter::encryptionErrorNotice(std::string_view text) {
    if (!encryptionNotice_) {
        Prompter::encryptionErrorNotice(text);
        return;
    }
    onWindowThread([&] { encryptionNotice_(parentWindow()); });
}

PromptAnswer GuiPrompter::messageWithCause(std::string_view text, std::string_view cause,
                                           PromptButtons buttons, PromptIcon icon) {
    keep(text, cause, buttons);
    const QString qt = qtext(text);
    const QString qcause = qtext(cause);
    PromptAnswer answer = PromptAnswer::Cancel;
    onWindowThread([&] { answer = showMessage(qt, buttons, icon, qcause); });
    return answer;
}

std::optional<std::string> GuiPrompter::password(std::size_t maxLength) {
    if (!passwordAsker_) {
        return std::nullopt;
    }
    std::optional<std::string> answer;
    onWindowThread([&] { answer = passwordAsker_(parentWindow(), maxLength); });
    return answer;
}

} // namespace dlu::gui
