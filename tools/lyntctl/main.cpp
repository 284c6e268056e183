// lyntctl: the command-line client of the card, for scripts, stream-deck buttons and headless
// boxes. It works on the same settings as the control panel.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConfigData.h"
#include "CtlSession.h"
#include "HttpFirmwareServer.h"
#include "Log/Log.h"
#include "PanelClient.h"
#include "PanelLock.h"

namespace {

void PrintUsage(std::FILE* to) {
    std::fputs("usage: lyntctl [--device PATH] [--json] COMMAND [ARGS...]\n\ncommands:\n", to);
    for (const ctl::Command& c : ctl::AllCommands()) {
        if (c.usage) {
            std::fprintf(to, "  %s\n", c.usage);
        }
    }
    std::fputs(
        "\nWhile the control panel runs, card commands go through it.\n"
        "\nexit status: 0 done, 1 bad usage or no data folder, 2 no card (panel: no panel\n"
        "running), 3 the card or the panel did not answer, 4 refused.\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    vlog::SetModuleName("lyntctl");
    firmware::InstallHttpFirmwareServer();  // "firmware" without --package asks the cloud service
    ctl::Invocation in;
    bool json = false;
    bool help = false;
    const ctl::Command* command = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--device") {
            if (i + 1 >= argc) {
                std::fputs("--device needs a path\n", stderr);
                return ctl::kExitUsage;
            }
            in.device = argv[++i];
        } else if (!command) {
            for (const ctl::Command& c : ctl::AllCommands()) {
                if (arg == c.name)
                    command = &c;
            }
            if (!command) {
                std::fprintf(stderr, "unknown command: %s\n\n", arg.c_str());
                PrintUsage(stderr);
                return ctl::kExitUsage;
            }
        } else {
            in.args.push_back(arg);
        }
    }
    in.out = COutput(json);
    in.showProgress = !json && ::isatty(STDERR_FILENO);
    if (help) {
        if (command && command->usage) {
            std::printf("usage: lyntctl [--device PATH] [--json] %s\n", command->usage);
        } else {
            PrintUsage(stdout);
        }
        return ctl::kExitOk;
    }
    if (!command) {
        PrintUsage(stderr);
        return ctl::kExitUsage;
    }
    // The running panel owns the card: it carries the command out.
    // A cloud download too: the panel adds it to its own sound-pad lists, which it writes.
    const bool cloudDownload =
        std::string(command->name) == "cloud" && !in.args.empty() && in.args[0] == "sound";
    if ((command->needsCard || cloudDownload) && platform::instance::IsPanelRunning()) {
        std::vector<std::string> words{command->name};
        words.insert(words.end(), in.args.begin(), in.args.end());
        return ctl::RunThroughPanel(words, json, in.showProgress);
    }
    // These commands work on the panel's settings, which live in the data folder or nowhere.
    if (command->needsCard && CConfigData::DefaultPath().empty()) {
        std::fputs(
            "no data folder for the settings (set HOME, or XDG_DATA_HOME, to a folder this "
            "user can write); nothing done\n",
            stderr);
        return ctl::kExitUsage;
    }
    return command->run(in);
}
