// lyntctl: the command-line client of the card, for scripts, stream-deck buttons and headless
// boxes. It works on the same settings as the control panel.
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "ConfigData.h"
#include "CtlSession.h"
#include "DataFolder.h"
#include "Help.h"
#include "HttpFirmwareServer.h"
#include "Log/Log.h"
#include "PanelClient.h"
#include "PanelLock.h"
#include "VeloraVersion.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

namespace {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lyntctl: %s; see lyntctl --help\n", message.c_str());
    return ctl::kExitUsage;
}

// A virtual card's socket given as it is names that card, as "vcard:PATH" does.
std::string DevicePath(const std::string& given) {
    struct stat st {};
    if (!CVirtualCardDevice::IsVirtualPath(given) && ::stat(given.c_str(), &st) == 0 &&
        S_ISSOCK(st.st_mode)) {
        return CVirtualCardDevice::kPathPrefix + given;
    }
    return given;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

}  // namespace

int main(int argc, char** argv) {
    // Started by lyntctl in its place (QuickStart.cpp), it goes by that name: a panel waiting for
    // the card names its holder so.
    ::prctl(PR_SET_NAME, "lyntctl");
    vlog::SetModuleName("lyntctl");
    firmware::InstallHttpFirmwareServer();  // "firmware" without --package asks the cloud service
    ctl::Invocation in;
    bool json = false;
    int at = 1;
    // Options come before the command, so that arguments after it are the command's own.
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        if (IsHelp(arg)) {
            ctl::PrintHelp(stdout);
            return ctl::kExitOk;
        } else if (arg == "--version") {
            std::printf("lyntctl %s\n", VELORA_VERSION);
            return ctl::kExitOk;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--device" || arg.starts_with("--device=")) {
            if (arg == "--device" && at + 1 >= argc) {
                return UsageError("--device needs a path");
            }
            in.device = DevicePath(arg == "--device" ? argv[++at] : arg.substr(9));
        } else if (arg == "--") {
            ++at;
            break;
        } else if (arg.starts_with("-")) {
            return UsageError("unknown option " + arg + " (options go before the command)");
        } else {
            break;
        }
    }
    if (at >= argc) {
        return UsageError("no command given");
    }
    std::string name = argv[at++];
    std::vector<std::string> args(argv + at, argv + argc);
    if (name == "help") {
        if (args.empty()) {
            ctl::PrintHelp(stdout);
            return ctl::kExitOk;
        }
        const ctl::Command* c = args.size() == 1 ? ctl::FindCommand(args[0]) : nullptr;
        if (!c || !c->usage) {
            return UsageError(args.size() == 1 ? "no command " + args[0]
                                               : "help takes one command");
        }
        ctl::PrintCommandHelp(*c, stdout);
        return ctl::kExitOk;
    }
    const ctl::Command* command = ctl::FindCommand(name);
    if (!command || !command->usage) {
        return UsageError("unknown command " + name);
    }
    // COMMAND --help; after "--" a -h is an argument like any other (a name, say).
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            args.erase(args.begin() + static_cast<long>(i));
            break;
        }
        if (IsHelp(args[i])) {
            ctl::PrintCommandHelp(*command, stdout);
            return ctl::kExitOk;
        }
    }
    in.args = std::move(args);
    in.out = COutput(json);
    in.showProgress = !json && ::isatty(STDERR_FILENO);
    in.progressLines = !::isatty(STDERR_FILENO);
    // The running panel owns the card: it carries the command out.
    // A cloud download too: the panel adds it to its own sound-pad lists, which it writes.
    const bool cloudDownload = name == "cloud" && !in.args.empty() && in.args[0] == "sound";
    // A pad plays in the panel's player; its request goes first, before any start-up work here.
    const bool pad = name == "pad";
    if ((command->needsCard || cloudDownload || pad) && platform::instance::IsPanelRunning()) {
        std::vector<std::string> words{command->name};
        words.insert(words.end(), in.args.begin(), in.args.end());
        return ctl::RunThroughPanel(words, json, in.showProgress);
    }
    // Problems go to the log file, as the panel's do: standard error is for the user's messages.
    // Its writer thread never takes SIGINT or SIGTERM: monitor and the firmware write turn them
    // into an orderly end on their own thread, which only works where no other thread takes them.
    vlog::CLogManager log;
    sigset_t signals;
    sigset_t before;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &before);
    log.Start(appbase::DataSubFolder("log"), "lyntctl");
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    // These commands work on the panel's settings, which live in the data folder or nowhere.
    if (command->needsCard && CConfigData::DefaultPath().empty()) {
        in.out.Error(
            "no data folder for the settings (set HOME, or XDG_DATA_HOME, to a folder this "
            "user can write); nothing done");
        return in.out.EndWith(ctl::kExitUsage);
    }
    int status = command->run(in);
    // A failure because the card went away mid-command says so, as status 2.
    if (status == ctl::kExitNoAnswer && command->needsCard && ctl::CardWentAway()) {
        status = ctl::ReportUnplugged(in.out);
    }
    return in.out.EndWith(status);
}
