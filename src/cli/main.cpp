// dlutil: the command-line front end of the Download Utility.
#include "cli/CliSession.h"
#include "cli/DownloadCommand.h"
#include "cli/InfoCommand.h"
#include "cli/StatusCommand.h"
#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"

#ifdef DLU_CLI_WITH_SETTINGS
#include "app/CDownloadUtilApp.h"
#include "app/settings/QtSettingsStore.h"
#endif
#ifdef DLU_CLI_WITH_QT
#include <QCoreApplication>
#endif

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

namespace {

// The language of the run: --lang when given, otherwise what the desktop program would pick
// at start (the programming tool's setting, then the system language).
dlu::Language chooseLanguage(const std::string& lang) {
    if (lang == "ko") {
        return dlu::Language::Korean;
    }
    if (lang == "en") {
        return dlu::Language::English;
    }
#ifdef DLU_CLI_WITH_SETTINGS
    dlu::QtSettingsStore store;
    dlu::CDownloadUtilApp app(store, &dlu::systemLanguageId);
    return app.start();
#else
    return dlu::Language::English;
#endif
}

} // namespace

int main(int argc, char** argv) {
#ifdef DLU_CLI_WITH_QT
    // The Qt channels need an application object, though no event loop runs.
    QCoreApplication qtApp(argc, argv);
#endif
    CLI::App app{"Download Utility command line"};
    app.name("dlutil");
    app.require_subcommand(1);
    app.fallthrough();
    std::string lang;
    app.add_option("--lang", lang, "language of texts: ko or en (default: as the desktop program)")
        ->check(CLI::IsMember({"ko", "en"}));

    dlu::ConnectionOptions connection;
    std::optional<std::string> password;
    bool yes = false;
    bool no = false;
    app.add_option("--conn", connection.conn,
                   "tcp://HOST[:PORT], sim://HOST[:PORT], serial:DEVICE[?baud=B&station=N&"
                   "rtscts=1], dialup:DEVICE?number=N[&exit=E&init=CMD], usb[:DEVICE], "
                   "embedded[?identity=A-21&key=remote&mode=stop] (default: the stored settings)");
    app.add_option("--timeout", connection.timeout, "receive time-out in seconds")
        ->check(CLI::Range(1, 300));
    app.add_option("--retry", connection.retry, "attempts per request")->check(CLI::Range(1, 10));
    app.add_option("--password", password, "connection password (or DLUTIL_PASSWORD)");
    auto* yesFlag = app.add_flag("--yes", yes, "answer Yes to every question");
    app.add_flag("--no", no, "answer No to every question")->excludes(yesFlag);
    app.add_option("--trace", connection.trace, "write every frame to FILE (- for stderr)");

    dlu::InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand("info", "show the project of a download package");
    infoCmd->add_option("package", info.package, "the .DWN file")->required();
    infoCmd->add_flag("--json", info.json, "print a JSON object");

    dlu::StatusOptions status;
    CLI::App* statusCmd = app.add_subcommand("status", "show the PLC's CPU and its mode");
    statusCmd->add_option("--cpu", status.cpu,
                          "project CPU type to check against (code or name, e.g. 26 or A-21)");

    dlu::DownloadOptions download;
    CLI::App* downloadCmd =
        app.add_subcommand("download", "download a package's project into the PLC");
    downloadCmd->add_option("package", download.package, "the .DWN file")->required();
    auto* runFlag = downloadCmd->add_flag_function(
        "--run", [&download](std::int64_t) { download.run = true; },
        "switch the PLC to Remote RUN afterwards without asking");
    downloadCmd
        ->add_flag_function(
            "--no-run", [&download](std::int64_t) { download.run = false; },
            "leave the PLC in STOP afterwards without asking")
        ->excludes(runFlag);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? dlu::kExitSuccess : dlu::kExitUsage;
    }

    const dlu::Messages messages(chooseLanguage(lang));
    dlu::TerminalPrompter prompter;
    if (!password) {
        if (const char* env = std::getenv("DLUTIL_PASSWORD")) {
            password = env;
        }
    }
    prompter.setPassword(password);
    if (yes || no) {
        prompter.setAnswerPolicy(
            [yes](std::string_view,
                  dlu::PromptButtons buttons) -> std::optional<dlu::PromptAnswer> {
                if (buttons == dlu::PromptButtons::YesNo) {
                    return yes ? dlu::PromptAnswer::Yes : dlu::PromptAnswer::No;
                }
                if (!yes && buttons == dlu::PromptButtons::RetryCancel) {
                    return dlu::PromptAnswer::Cancel;
                }
                return std::nullopt;
            });
    }

    if (infoCmd->parsed()) {
        return dlu::runInfo(info, prompter, messages, std::cout);
    }
    if (downloadCmd->parsed()) {
        return dlu::runDownload(download, connection, prompter, messages, std::cout);
    }
    if (statusCmd->parsed()) {
        return dlu::runStatus(status, connection, prompter, messages, std::cout);
    }
    return dlu::kExitUsage;
}
