// dlutil: the command-line front end of the Download Utility.
#include "cli/BackupCommands.h"
#include "cli/CliSession.h"
#include "cli/DownloadCommand.h"
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
                   "embedded[?identity=A-21&key=remote&mode=stop&seed=N&image=BYTES] (default: the "
                   "stored settings)");
    app.add_option("--timeout", connection.timeout, "receive time-out in seconds")
        ->check(CLI::Range(1, 300));
    app.add_option("--retry", connection.retry, "attempts per request")->check(CLI::Range(1, 10));
    app.add_option("--password", password, "connection password (or DLUTIL_PASSWORD)");
    auto* yesFlag = app.add_flag("--yes", yes, "answer Yes to every question");
    app.add_flag("--no", no, "answer No to every question")->excludes(yesFlag);
    app.add_option("--trace", connection.trace, "write every frame to FILE (- for stderr)");
    bool quiet = false;
    auto* quietFlag =
        app.add_flag("-q,--quiet", quiet, "say only what went wrong and the final result");
    app.add_flag("-v,--verbose", connection.verbose,
                 "also show each request to the PLC as it goes (without its bytes)")
        ->excludes(quietFlag);

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

    const char* cpuHelp = "CPU type of the project (code or name, e.g. 26 or A-21)";
    const char* areaHelp = "AREA:START-END (end not included, e.g. D:0-250), AREA (the whole "
                           "area) or all; repeatable";
    dlu::BackupOptions backup;
    CLI::App* backupCmd =
        app.add_subcommand("backup", "read device memory from the PLC into a .PDM file");
    backupCmd->add_option("--cpu", backup.cpu, cpuHelp)->required();
    backupCmd->add_option("-o,--output", backup.output, "the .PDM file to write")->required();
    backupCmd->add_option("--area", backup.areas, areaHelp)->take_all();
    backupCmd->add_flag("--default", backup.withDefault,
                        "M, L, K and D in full (also what no --area means)");

    dlu::RestoreOptions restore;
    CLI::App* restoreCmd =
        app.add_subcommand("restore", "write a .PDM file's device memory into the PLC");
    restoreCmd->add_option("file", restore.file, "the .PDM file")->required();
    restoreCmd->add_option("--cpu", restore.cpu, cpuHelp)->required();
    restoreCmd->add_flag("--verify", restore.verify,
                         "read the written words back and compare them with the file");
    restoreCmd->add_flag("--force", restore.force,
                         "restore a file longer than a device memory file (its first bytes)");
    restoreCmd
        ->add_option("--area", restore.areas,
                     "only these of the file's areas: AREA, AREA:START-END or all; "
                     "repeatable")
        ->take_all();

    dlu::LinuxTransferOptions linuxBackup;
    CLI::App* linuxBackupCmd =
        app.add_subcommand("linux-backup", "read the device image of a Linux CPU into a .BIN file");
    linuxBackupCmd->add_option("--cpu", linuxBackup.cpu, cpuHelp)->required();
    linuxBackupCmd->add_option("-o,--output", linuxBackup.file, "the .BIN file to write")
        ->required();

    dlu::LinuxTransferOptions linuxRestore;
    CLI::App* linuxRestoreCmd =
        app.add_subcommand("linux-restore", "write a .BIN device image into a Linux CPU");
    linuxRestoreCmd->add_option("file", linuxRestore.file, "the .BIN file")->required();
    linuxRestoreCmd->add_option("--cpu", linuxRestore.cpu, cpuHelp)->required();
    linuxRestoreCmd->add_flag("--verify", linuxRestore.verify,
                              "read the image back and compare it with the file");

    dlu::PortsOptions ports;
    CLI::App* portsCmd =
        app.add_subcommand("ports", "list the serial ports in the order of the connection setup");
    portsCmd->add_flag("--json", ports.json, "print a JSON array");

    dlu::PdmShowOptions pdmShow;
    CLI::App* pdmCmd = app.add_subcommand("pdm", "device memory files");
    pdmCmd->require_subcommand(1);
    CLI::App* pdmShowCmd =
        pdmCmd->add_subcommand("show", "print the words of a .PDM file as the viewer shows them");
    pdmShowCmd->add_option("file", pdmShow.file, "the .PDM file")->required();
    pdmShowCmd->add_option("--area", pdmShow.area,
                           "one area (D, TC, ...); default: every area the file selects");
    pdmShowCmd->add_option("--from", pdmShow.from, "first word (default: the range's start)");
    pdmShowCmd->add_option("--count", pdmShow.count,
                           "number of words (default: to the range's end)");
    pdmShowCmd->add_flag("--json", pdmShow.json,
                         "print a JSON array of {area, word, name, dec, hex}");

    dlu::PdmDiffOptions pdmDiff;
    CLI::App* pdmDiffCmd = pdmCmd->add_subcommand(
        "diff", "the words that differ between two .PDM files (exit 1 when any does)");
    pdmDiffCmd->add_option("first", pdmDiff.first, "the first .PDM file")->required();
    pdmDiffCmd->add_option("second", pdmDiff.second, "the second .PDM file")->required();
    pdmDiffCmd->add_option("--area", pdmDiff.area, "one area (D, TC, ...); default: all");
    pdmDiffCmd->add_flag("--json", pdmDiff.json, "print a JSON array of {area, word, name, a, b}");

    dlu::PdmExportOptions pdmExport;
    CLI::App* pdmExportCmd =
        pdmCmd->add_subcommand("export", "print the words of a .PDM file as CSV");
    pdmExportCmd->add_option("file", pdmExport.file, "the .PDM file")->required();
    pdmExportCmd->add_flag("--csv", pdmExport.csv, "comma-separated area,address,dec,hex")
        ->required();
    pdmExportCmd->add_option("--area", pdmExport.area,
                             "one area (all its words); default: the ranges the file selects");

    dlu::PdmImportOptions pdmImport;
    CLI::App* pdmImportCmd =
        pdmCmd->add_subcommand("import", "make a .PDM file from CSV rows area,address,dec,hex");
    pdmImportCmd->add_option("file", pdmImport.file, "the CSV file")->required();
    pdmImportCmd->add_option("-o,--output", pdmImport.output, "the .PDM file to write")->required();
    pdmImportCmd->add_option("--cpu", pdmImport.cpu, cpuHelp)->required();

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
    prompter.setVerbosity(quiet                ? dlu::Verbosity::Quiet
                          : connection.verbose ? dlu::Verbosity::Verbose
                                               : dlu::Verbosity::Normal);
    if (yes || no) {
        prompter.setAnswerPolicy(
            [yes](std::string_view,
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

    // With --quiet the messages of a command that failed are shown at its end.
    const auto finish = [&prompter](int code) {
        prompter.finish(code != dlu::kExitSuccess);
        return code;
    };
    if (portsCmd->parsed()) {
        return dlu::runPorts(ports, std::cout);
    }
    if (infoCmd->parsed()) {
        return finish(dlu::runInfo(info, prompter, messages, std::cout));
    }
    if (downloadCmd->parsed()) {
        return finish(dlu::runDownload(download, connection, prompter, messages, std::cout));
    }
    if (backupCmd->parsed()) {
        return finish(dlu::runBackup(backup, connection, prompter, messages));
    }
    if (restoreCmd->parsed()) {
        return finish(dlu::runRestore(restore, connection, prompter, messages));
    }
    if (linuxBackupCmd->parsed()) {
        return finish(dlu::runLinuxBackup(linuxBackup, connection, prompter, messages));
    }
    if (linuxRestoreCmd->parsed()) {
        return finish(dlu::runLinuxRestore(linuxRestore, connection, prompter, messages));
    }
    if (pdmShowCmd->parsed()) {
        return finish(dlu::runPdmShow(pdmShow, std::cout));
    }
    if (pdmDiffCmd->parsed()) {
        return dlu::runPdmDiff(pdmDiff, std::cout, std::cerr);
    }
    if (pdmExportCmd->parsed()) {
        return dlu::runPdmExport(pdmExport, std::cout, std::cerr);
    }
    if (pdmImportCmd->parsed()) {
        return dlu::runPdmImport(pdmImport, std::cout, std::cerr);
    }
    if (statusCmd->parsed()) {
        return finish(dlu::runStatus(status, connection, prompter, messages, std::cout));
    }
    return dlu::kExitUsage;
}
