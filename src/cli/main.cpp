// dlutil: the command-line front end of the Download Utility.
#include "cli/InfoCommand.h"
#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"

#ifdef DLU_CLI_WITH_SETTINGS
#include "app/CDownloadUtilApp.h"
#include "app/settings/QtSettingsStore.h"
#endif

#include <CLI/CLI.hpp>

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
    CLI::App app{"Download Utility command line"};
    app.name("dlutil");
    app.require_subcommand(1);
    app.fallthrough();
    std::string lang;
    app.add_option("--lang", lang, "language of texts: ko or en (default: as the desktop program)")
        ->check(CLI::IsMember({"ko", "en"}));

    dlu::InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand("info", "show the project of a download package");
    infoCmd->add_option("package", info.package, "the .DWN file")->required();
    infoCmd->add_flag("--json", info.json, "print a JSON object");

    CLI11_PARSE(app, argc, argv);

    const dlu::Messages messages(chooseLanguage(lang));
    dlu::TerminalPrompter prompter;
    if (infoCmd->parsed()) {
        return dlu::runInfo(info, prompter, messages, std::cout);
    }
    return 1;
}
