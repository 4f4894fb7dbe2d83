#pragma once

#include "common/Prompter.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QMessageBox;

namespace dlu::gui {

// The desktop program's prompter: a message box with the buttons and icon the message names,
// parented to the active modal dialog (else the main window). Called on the window thread it
// shows the box directly; called on another thread (the session's worker) it has the window
// thread show it and waits for the answer.
class GuiPrompter final : public Prompter {
public:
    // Asks for the PLC password with the password dialog; nothing on Cancel.
    using PasswordAsker =
        std::function<std::optional<std::string>(QWidget* parent, std::size_t maxLength)>;

    explicit GuiPrompter(QWidget* mainWindow = nullptr);

    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    void setPasswordAsker(PasswordAsker asker) { passwordAsker_ = std::move(asker); }
    // Shows the Encryption Error dialog over `parent`; unset: the notice is a message box.
    using NoticeShower = std::function<void(QWidget* parent)>;
    void setEncryptionNotice(NoticeShower show) { encryptionNotice_ = std::move(show); }

    PromptAnswer message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                         PromptIcon icon = PromptIcon::None) override;
    PromptAnswer messageWithCause(std::string_view text, std::string_view cause,
                                  PromptButtons buttons = PromptButtons::Ok,
                                  PromptIcon icon = PromptIcon::None) override;
    std::optional<std::string> password(std::size_t maxLength) override;
    void encryptionErrorNotice(std::string_view text) override;

    // The last message that was not a question, with its cause on a line under it, as it was
    // given; empty before one. Any thread.
    std::string lastMessage() const;
    void forgetLastMessage();

    // The window the next box is parented to.
    QWidget* parentWindow() const;

    // The box a message is shown in (No the default of a question that defaults to No).
    static std::unique_ptr<QMessageBox> makeBox(const QString& text, PromptButtons buttons,
                                                PromptIcon icon, const QString& cause,
                                                QWidget* parent);

private:
    // Runs `show` on the window thread and waits for it.
    void onWindowThread(const std::function<void()>& show);
    PromptAnswer showMessage(const QString& text, PromptButtons buttons, PromptIcon icon,
                             const QString& cause = {});

    void keep(std::string_view text, std::string_view cause, PromptButtons buttons);

    mutable std::mutex lastMutex_;
    std::string last_;
    QPointer<QWidget> mainWindow_;
    PasswordAsker passwordAsker_;
    NoticeShower encryptionNotice_;
};

} // namespace dlu::gui
