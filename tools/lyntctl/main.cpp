// lyntctl: the command-line client of the card, for scripts, stream-deck buttons and headless
// boxes. It works on the same settings as the control panel.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "ConfigData.h"
#include "CtlSession.h"
#include "Log/Log.h"
#include "PanelLock.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const ctl::Invocation&);
    bool needsCard;  // refused while the panel owns the card; works on the panel's settings
    const char* usage;
};

const Command kCommands[] = {
    {"devices", ctl::CmdDevices, false, "devices\n  List the cards found: path, vendor id, product id."},
    {"info", ctl::CmdInfo, true, "info\n  Show the product, hardware and firmware versions and device type."},
    {"get", ctl::CmdGet, true,
     "get [PARAM...]\n  Show parameters as ID NAME VALUE [RAW]; all 47 without arguments.\n"
     "  PARAM is an id (0-46) or a name such as EQ_1 or 混响音量."},
    {"set", ctl::CmdSet, true,
     "set PARAM VALUE [PARAM VALUE...]\n  Set raw values, sent to the card as one batch."},
    {"eq", ctl::CmdEq, true,
     "eq [--response N]\n  Show the fifteen equaliser bands of the current effect as BAND NAME\n"
     "  FREQUENCY GAIN Q TYPE; with --response also the curve they make, in dB at N\n"
     "  frequencies evenly spaced on a log scale from 20 Hz to 24 kHz."},
    {"effect", ctl::CmdEffect, true, "effect NAME|POSITION\n  Apply a built-in effect (positions 0-6)."},
    {"my-effect", ctl::CmdMyEffect, true, "my-effect SLOT\n  Apply one of your own effects (slots 0-11)."},
    {"save-effect", ctl::CmdSaveEffect, true,
     "save-effect SLOT NAME\n  Store the current effect as your own effect SLOT (0-11)."},
    {"preset", ctl::CmdPreset, true,
     "preset GROUP POSITION\n  Apply a preset of group 1 (equaliser), 2 (reverb) or 3 (voice)."},
    {"save-preset", ctl::CmdSavePreset, true,
     "save-preset GROUP SLOT NAME\n  Store the group's current values as its custom preset SLOT (0-3)."},
    {"send-effect", ctl::CmdSendEffect, true,
     "send-effect FILE\n  Load an effect file and send it to the card; exits 0 only when the card\n"
     "  took every frame."},
    {"panel", ctl::CmdPanel, false,
     "panel show|upgrade\n  Bring the running control panel to the front, or open its firmware\n"
     "  upgrade."},
    {"monitor", ctl::CmdMonitor, true,
     "monitor [--levels]\n  Print every parameter the card reports, as the panel takes it (and\n"
     "  level frames with --levels), until interrupted. An unplugged card is waited for."},
};

void PrintUsage(std::FILE* to) {
    std::fputs("usage: lyntctl [--device PATH] [--json] COMMAND [ARGS...]\n\ncommands:\n", to);
    for (const Command& c : kCommands) {
        std::fprintf(to, "  %s\n", c.usage);
    }
    std::fputs(
        "\nexit status: 0 done, 1 bad usage or no data folder, 2 no card (panel: no panel\n"
        "running), 3 the card did not answer, 4 the control panel is running.\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    vlog::SetModuleName("lyntctl");
    ctl::Invocation in;
    bool json = false;
    bool help = false;
    const Command* command = nullptr;
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
            for (const Command& c : kCommands) {
                if (arg == c.name) command = &c;
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
    if (help) {
        if (command) {
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
    if (command->needsCard && platform::instance::IsPanelRunning()) {
        std::fputs("the control panel is running and owns the card; use it, or close it first\n",
                   stderr);
        return ctl::kExitPanelRunning;
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
