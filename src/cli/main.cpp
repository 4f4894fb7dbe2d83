// dlutil: the command-line front end of the Download Utility.
#include "cli/BackupCommands.h"
#include "cli/CliSession.h"
#include "cli/DownloadCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PdmCommands.h"
#include "cli/PdmShowCommand.h"
#include "cli/PortsCommand.h"
#include "cli/StatusCommand.h"
#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"
#include "common/Version.h"

#ifdef DLU_CLI_WITH_SETTINGS
#include "app/settings/QtSettingsStore.h"
#include "common/CDownloadUtilApp.h"
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

constexpr const char* kCpuHelp = "CPU type of the project (code or name, e.g. 26 or A-21)";

// Everything the command line gives.
struct Options {
    std::string lang;
    dlu::ConnectionOptions connection;
    std::optional<std::string> password;
    bool yes = false;
    bool no = false;
    bool quiet = false;
    dlu::InfoOptions info;
    dlu::StatusOptions status;
    dlu::DownloadOptions download;
    dlu::BackupOptions backup;
    dlu::RestoreOptions restore;
    dlu::LinuxTransferOptions linuxBackup;
    dlu::LinuxTransferOptions linuxRestore;
    dlu::PortsOptions ports;
    dlu::PdmShowOptions pdmShow;
    dlu::PdmDiffOptions pdmDiff;
    dlu::PdmExportOptions pdmExport;
    dlu::PdmImportOptions pdmImport;
    dlu::HistoryOptions history;
};

// The subcommands, to tell which one was given.
struct Commands {
    CLI::App* info = nullptr;
    CLI::App* status = nullptr;
    CLI::App* download = nullptr;
    CLI::App* backup = nullptr;
    CLI::App* restore = nullptr;
    CLI::App* linuxBackup = nullptr;
    CLI::App* linuxRestore = nullptr;
    CLI::App* ports = nullptr;
    CLI::App* pdmShow = nullptr;
    CLI::App* pdmDiff = nullptr;
    CLI::App* pdmExport = nullptr;
    CLI::App* pdmImport = nullptr;
    CLI::App* history = nullptr;
};

void addGlobalOptions(CLI::App& app, Options& o) {
    app.add_option("--lang", o.lang,
                   "language of texts: ko or en (default: as the desktop program)")
        ->check(CLI::IsMember({"ko", "en"}));

    app.add_option("--conn", o.connection.conn,
                   "tcp://HOST[:PORT], sim://HOST[:PORT], serial:DEVICE[?baud=B&station=N&"
                   "rtscts=1], dialup:DEVICE?number=N[&exit=E&init=CMD], usb[:DEVICE], "
                   "embedded[?identity=A-21&key=remote&mode=stop&seed=N&image=BYTES] (default: the "
                   "stored settings)");
    app.add_option("--timeout", o.connection.timeout, "receive time-out in seconds")
        ->check(CLI::Range(1, 300));
    app.add_option("--retry", o.connection.retry, "attempts per request")->check(CLI::Range(1, 10));
    app.add_option("--password", o.password, "connection password (or DLUTIL_PASSWORD)");
    auto* yesFlag = app.add_flag("--yes", o.yes, "answer Yes to every question");
    app.add_flag("--no", o.no, "answer No to every question")->excludes(yesFlag);
    app.add_option("--trace", o.connection.trace, "write every frame to FILE (- for stderr; *.pcapng: a Wireshark capture)");
    auto* quietFlag =
        app.add_flag("-q,--quiet", o.quiet, "say only what went wrong and the final result");
    app.add_flag("-v,--verbose", o.connection.verbose,
                 "also show each request to the PLC as it goes (without its bytes)")
        ->excludes(quietFlag);
    app.add_flag_function(
        "--no-history", [&o](std::int64_t) { o.connection.history = false; },
        "do not add the operation to the operation record (or DLUTIL_NO_HISTORY=1)");
}

// The commands that talk to a PLC, and info, which reads a package the way a download does.
void addPlcCommands(CLI::App& app, Options& o, Commands& c) {
    c.info = app.add_subcommand("info", "show the project of a download package");
    c.info->add_option("package", o.info.package, "the .DWN file")->required();
    c.info->add_flag("--json", o.info.json, "print a JSON object");

    c.status = app.add_subcommand("status", "show the PLC's CPU and its mode");
    c.status->add_option("--cpu", o.status.cpu,
                         "project CPU type to check against (code or name, e.g. 26 or A-21)");

    c.download = app.add_subcommand("download", "download a package's project into the PLC");
    c.download->add_option("package", o.download.package, "the .DWN file")->required();
    auto* runFlag = c.download->add_flag_function(
        "--run", [&o](std::int64_t) { o.download.run = true; },
        "switch the PLC to Remote RUN afterwards without asking");
    c.download
        ->add_flag_function(
            "--no-run", [&o](std::int64_t) { o.download.run = false; },
            "leave the PLC in STOP afterwards without asking")
        ->excludes(runFlag);

    const char* areaHelp = "AREA:START-END (end not included, e.g. D:0-250), AREA (the whole "
                           "area) or all; repeatable";
    c.backup = app.add_subcommand("backup", "read device memory from the PLC into a .PDM file");
    c.backup->add_option("--cpu", o.backup.cpu, kCpuHelp)->required();
    c.backup->add_option("-o,--output", o.backup.output, "the .PDM file to write")->required();
    c.backup->add_option("--area", o.backup.areas, areaHelp)->take_all();
    c.backup->add_flag("--default", o.backup.withDefault,
                       "M, L, K and D in full (also what no --area means)");

    c.restore = app.add_subcommand("restore", "write a .PDM file's device memory into the PLC");
    c.restore->add_option("file", o.restore.file, "the .PDM file")->required();
    c.restore->add_option("--cpu", o.restore.cpu, kCpuHelp)->required();
    c.restore->add_flag("--verify", o.restore.verify,
                        "read the written words back and compare them with the file");
    c.restore->add_flag("--force", o.restore.force,
                        "restore a file longer than a device memory file (its first bytes)");
    c.restore
        ->add_option("--area", o.restore.areas,
                     "only these of the file's areas: AREA, AREA:START-END or all; "
                     "repeatable")
        ->take_all();

    c.linuxBackup =
        app.add_subcommand("linux-backup", "read the device image of a Linux CPU into a .BIN file");
    c.linuxBackup->add_option("--cpu", o.linuxBackup.cpu, kCpuHelp)->required();
    c.linuxBackup->add_option("-o,--output", o.linuxBackup.file, "the .BIN file to write")
        ->required();

    c.linuxRestore =
        app.add_subcommand("linux-restore", "write a .BIN device image into a Linux CPU");
    c.linuxRestore->add_option("file", o.linuxRestore.file, "the .BIN file")->required();
    c.linuxRestore->add_option("--cpu", o.linuxRestore.cpu, kCpuHelp)->required();
    c.linuxRestore->add_flag("--verify", o.linuxRestore.verify,
                             "read the image back and compare it with the file");
}

// The commands that need no PLC: the serial ports and the device memory files.
void addFileCommands(CLI::App& app, Options& o, Commands& c) {
    c.ports =
        app.add_subcommand("ports", "list the serial ports in the order of the connection setup");
    c.ports->add_flag("--json", o.ports.json, "print a JSON array");

    CLI::App* pdmCmd = app.add_subcommand("pdm", "device memory files");
    pdmCmd->require_subcommand(1);
    c.pdmShow =
        pdmCmd->add_subcommand("show", "print the words of a .PDM file as the viewer shows them");
    c.pdmShow->add_option("file", o.pdmShow.file, "the .PDM file")->required();
    c.pdmShow->add_option("--area", o.pdmShow.area,
                          "one area (D, TC, ...); default: every area the file selects");
    c.pdmShow->add_option("--from", o.pdmShow.from, "first word (default: the range's start)");
    c.pdmShow->add_option("--count", o.pdmShow.count,
                          "number of words (default: to the range's end)");
    c.pdmShow->add_flag("--json", o.pdmShow.json,
                        "print a JSON array of {area, word, name, dec, hex}");

    c.pdmDiff = pdmCmd->add_subcommand(
        "diff", "the words that differ between two .PDM files (exit 1 when any does)");
    c.pdmDiff->add_option("first", o.pdmDiff.first, "the first .PDM file")->required();
    c.pdmDiff->add_option("second", o.pdmDiff.second, "the second .PDM file")->required();
    c.pdmDiff->add_option("--area", o.pdmDiff.area, "one area (D, TC, ...); default: all");
    c.pdmDiff->add_flag("--json", o.pdmDiff.json, "print a JSON array of {area, word, name, a, b}");

    c.pdmExport = pdmCmd->add_subcommand("export", "print the words of a .PDM file as CSV");
    c.pdmExport->add_option("file", o.pdmExport.file, "the .PDM file")->required();
    c.pdmExport->add_flag("--csv", o.pdmExport.csv, "comma-separated area,address,dec,hex")
        ->required();
    c.pdmExport->add_option("--area", o.pdmExport.area,
                            "one area (all its words); default: the ranges the file selects");

    c.pdmImport =
        pdmCmd->add_subcommand("import", "make a .PDM file from CSV rows area,address,dec,hex");
    c.pdmImport->add_option("file", o.pdmImport.file, "the CSV file")->required();
    c.pdmImport->add_option("-o,--output", o.pdmImport.output, "the .PDM file to write")
        ->required();
    c.pdmImport->add_option("--cpu", o.pdmImport.cpu, kCpuHelp)->required();

    c.history = app.add_subcommand("history", "show the last downloads, backups and restores");
    c.history->add_option("--last", o.history.last, "how many operations (default 20)")
        ->check(CLI::Range(1, 100000));
    c.history->add_flag("--json", o.history.json, "print a JSON array of the records");
}

void setUpPrompter(dlu::TerminalPrompter& prompter, Options& o) {
    if (!o.password) {
        if (const char* env = std::getenv("DLUTIL_PASSWORD")) {
            o.password = env;
        }
    }
    prompter.setPassword(o.password);
    prompter.setVerbosity(o.quiet                ? dlu::Verbosity::Quiet
                          : o.connection.verbose ? dlu::Verbosity::Verbose
                                                 : dlu::Verbosity::Normal);
    if (o.yes || o.no) {
        prompter.setAnswerPolicy(
            [yes = o.yes](std::string_view,
                          dlu::PromptButtons buttons) -> std::optional<dlu::PromptAnswer> {
                if (buttons == dlu::PromptButtons::YesNo ||
                    buttons == dlu::PromptButtons::YesNoDefaultNo) {
                    return yes ? dlu::PromptAnswer::Yes : dlu::PromptAnswer::No;
                }
                if (!yes && buttons == dlu::PromptButtons::RetryCancel) {
                    return dlu::PromptAnswer::Cancel;
                }
                return std::nullopt;
            });
    }
}

int runCommand(const Commands& c, Options& o, dlu::TerminalPrompter& prompter,
               const dlu::Messages& messages) {
    // With --quiet the messages of a command that failed are shown at its end.
    const auto finish = [&prompter](int code) {
        prompter.finish(code != dlu::kExitSuccess);
        return code;
    };
    if (c.history->parsed()) {
        return dlu::runHistory(o.history, std::cout, std::cerr);
    }
    if (c.ports->parsed()) {
        return dlu::runPorts(o.ports, std::cout);
    }
    if (c.info->parsed()) {
        return finish(dlu::runInfo(o.info, prompter, messages, std::cout));
    }
    if (c.download->parsed()) {
        return finish(dlu::runDownload(o.download, o.connection, prompter, messages, std::cout));
    }
    if (c.backup->parsed()) {
        return finish(dlu::runBackup(o.backup, o.connection, prompter, messages));
    }
    if (c.restore->parsed()) {
        return finish(dlu::runRestore(o.restore, o.connection, prompter, messages));
    }
    if (c.linuxBackup->parsed()) {
        return finish(dlu::runLinuxBackup(o.linuxBackup, o.connection, prompter, messages));
    }
    if (c.linuxRestore->parsed()) {
        return finish(dlu::runLinuxRestore(o.linuxRestore, o.connection, prompter, messages));
    }
    if (c.pdmShow->parsed()) {
        return finish(dlu::runPdmShow(o.pdmShow, std::cout));
    }
    if (c.pdmDiff->parsed()) {
        return dlu::runPdmDiff(o.pdmDiff, std::cout, std::cerr);
    }
    if (c.pdmExport->parsed()) {
        return dlu::runPdmExport(o.pdmExport, std::cout, std::cerr);
    }
    if (c.pdmImport->parsed()) {
        return dlu::runPdmImport(o.pdmImport, std::cout, std::cerr);
    }
    if (c.status->parsed()) {
        return finish(dlu::runStatus(o.status, o.connection, prompter, messages, std::cout));
    }
    return dlu::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
#ifdef DLU_CLI_WITH_QT
    // The Qt channels need an application object, though no event loop runs.
    QCoreApplication qtApp(argc, argv);
#endif
    CLI::App app{"Download Utility command line"};
    app.name("dlutil");
    app.set_version_flag("--version", std::string("dlutil ") + dlu::kProjectVersion,
                         "print the version and exit");
    app.require_subcommand(1);
    app.fallthrough();
    Options options;
    Commands commands;
    addGlobalOptions(app, options);
    addPlcCommands(app, options, commands);
    addFileCommands(app, options, commands);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? dlu::kExitSuccess : dlu::kExitUsage;
    }

    const dlu::Messages messages(chooseLanguage(options.lang));
    dlu::TerminalPrompter prompter;
    setUpPrompter(prompter, options);
    return runCommand(commands, options, prompter, messages);
}
