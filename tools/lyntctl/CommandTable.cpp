// The commands lyntctl knows, for its own command line and for the panel that runs them.
#include "Commands.h"

namespace ctl {

namespace {

const Command kCommands[] = {
    {"devices", CmdDevices, false, "devices\n  List the cards found: path, vendor id, product id."},
    {"info", CmdInfo, true,
     "info\n  Show the product, hardware and firmware versions and device type."},
    {"get", CmdGet, true,
     "get [PARAM...]\n  Show parameters as ID NAME VALUE [RAW]; all 47 without arguments.\n"
     "  PARAM is an id (0-46) or a name such as EQ_1 or 混响音量."},
    {"set", CmdSet, true,
     "set PARAM VALUE [PARAM VALUE...]\n  Set raw values, sent to the card as one batch."},
    {"eq", CmdEq, true,
     "eq [--response N]\n  Show the fifteen equaliser bands of the current effect as BAND NAME\n"
     "  FREQUENCY GAIN Q TYPE; with --response also the curve they make, in dB at N\n"
     "  frequencies evenly spaced on a log scale from 20 Hz to 24 kHz."},
    {"effect", CmdEffect, true, "effect NAME|POSITION\n  Apply a built-in effect (positions 0-6)."},
    {"effects", CmdEffects, true,
     "effects\n  List the card's effect lists (EffectList.xml) as LIST POSITION NAME NUMBER,\n"
     "  separated by tabs; NUMBER is the effect's number on the card (- when it has none)."},
    {"my-effect", CmdMyEffect, true,
     "my-effect SLOT\n  Apply one of your own effects (slots 0-11)."},
    {"save-effect", CmdSaveEffect, true,
     "save-effect SLOT NAME\n  Store the current effect as your own effect SLOT (0-11)."},
    {"preset", CmdPreset, true,
     "preset GROUP POSITION\n  Apply a preset of group 1 (equaliser), 2 (reverb) or 3 (voice)."},
    {"save-preset", CmdSavePreset, true,
     "save-preset GROUP SLOT NAME\n  Store the group's current values as its custom preset SLOT "
     "(0-3)."},
    {"send-effect", CmdSendEffect, true,
     "send-effect FILE\n  Load an effect file and send it to the card; exits 0 only when the card\n"
     "  took every frame."},
    {"send-clip", CmdSendClip, true,
     "send-clip FILE.mp3 --slot N [--volume V]\n  Send an MP3 clip to the card's clip slot N (0-4: "
     "15, 35, 35, 20, 47 s) at\n  volume V (0-100, default 100); exits 0 only when the card took "
     "every block."},
    {"panel", CmdPanel, false,
     "panel show|upgrade\n  Bring the running control panel to the front, or open its firmware\n"
     "  upgrade."},
    {"pad", CmdPad, false,
     "pad N|--stop\n  Play favourite sound pad N (1 is the first) in the running control panel,\n"
     "  or stop the pad that plays."},
    {"firmware", CmdFirmware, false,
     "firmware check [--package FILE.zip] | firmware upgrade [--package FILE.zip] [--yes]\n"
     "  Compare the card's firmware with the newest (from the server, or the package), and\n"
     "  write it through the card's loader after the warning is confirmed (or --yes). Exits 0\n"
     "  only when the loader took every block. Refused while the control panel runs."},
    {"monitor", CmdMonitor, true,
     "monitor [--levels]\n  Print every parameter the card reports, as the panel takes it (and\n"
     "  level frames with --levels), until interrupted. An unplugged card is waited for."},
    {"cloud", CmdCloud, false,
     "cloud sounds [CATEGORY] | cloud sound ID\n  List the cloud's sound categories, or one "
     "category's clips as ID NAME URL\n  (CATEGORY: position or name); download clip ID into "
     "the downloads folder\n  and print its path. The server is VELORA_CLOUD_URL when set.\n"
     "cloud effects | cloud effect NAME|POSITION [--use | --slot 1|2]\n  List the cloud effects "
     "as POSITION CATEGORY NAME [downloaded]; download one\n  (once) and use it, or store it in "
     "remote-control slot 1 or 2 of the card."},
    {"doctor", CmdDoctor, false,
     "doctor\n  Check what the card needs from this machine: the card and its node's access,\n"
     "  the udev rule, tray, global hotkeys, the sound server and the card's devices, the\n"
     "  cloud and the data folder. Each line: ok, warn or fail, what was found, what to do."},
    // The second half of "cloud effect": the record, the card and the panel's trees.
    {"cloud-effect-file", CmdCloudEffectFile, true, nullptr},
};

}  // namespace

std::span<const Command> AllCommands() {
    return kCommands;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

}  // namespace ctl
