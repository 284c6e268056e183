// The commands lyntctl knows, for its own command line, its help and the panel that runs them.
#include "Commands.h"

namespace ctl {

namespace {

constexpr const char* kCardStatuses =
    "0 done; 1 bad usage or refused (nothing sent); 2 no card, or it was unplugged; 3 the card "
    "or the panel did not answer; 4 the card is in use by another program, or the panel is busy";
constexpr const char* kStoredStatuses =
    "0 done; 1 bad usage or no data folder; 3 the panel did not answer";
constexpr const char* kPanelStatuses =
    "0 the panel was told; 1 bad usage; 2 the control panel is not running";
constexpr const char* kPadStatuses =
    "0 the pad plays (or stopped); 1 bad usage or no such pad; 2 the control panel is not "
    "running or its window is closed; 3 the clip did not play (its file is gone, it is still "
    "being fetched, it would not open) or the panel did not answer";
constexpr const char* kCloudStatuses =
    "0 done; 1 bad usage; 3 the cloud did not answer or its answer was unusable";

// clang-format off
const Command kCommands[] = {
    {"devices", CmdDevices, false, "devices",
     "List the cards found: path, vendor id, product id",
     "A card in its firmware loader is listed with \"loader\": finish its upgrade with\n"
     "lyntctl firmware upgrade.",
     "lyntctl devices", "0 done; 1 bad usage"},
    {"info", CmdInfo, true, "info",
     "Ask the card for its product, hardware and firmware versions and type",
     "Opens a session with the card and asks it for its information. Nothing stored is sent:\n"
     "the card keeps the values it has. Versions print as 2.3 under --json, as firmware\n"
     "check prints them.",
     "lyntctl --json info", kCardStatuses},
    {"params", CmdParams, true, "params",
     "List the parameters: id, English identifier, Chinese name, range and unit",
     "Wherever a command takes PARAM, the id, the English identifier (any case) and the\n"
     "Chinese name all work.",
     "lyntctl params", kStoredStatuses},
    {"get", CmdGet, true, "get [PARAM...]",
     "Show the stored parameter values (all 47 without arguments)",
     "Prints ID NAME KEY VALUE[UNIT] [muted] [RAW]. The card cannot be asked for its values:\n"
     "these are the values lyntctl and the panel keep, which the card is given at each\n"
     "connection. A running panel (or lyntctl monitor) keeps them in step with the card's\n"
     "knobs. Reading them never sends anything to the card.",
     "lyntctl get reverb_time monitor_volume", kStoredStatuses},
    {"set", CmdSet, true, "set PARAM VALUE [PARAM VALUE...]",
     "Set parameters, sent to the card as one batch",
     "VALUE is the value as get shows it, with or without its unit (1700, 1700ms, -3.5dB),\n"
     "or the raw value as raw:17. Numbers are decimal (010 is 10). Setting a volume's level\n"
     "leaves its mute bit alone. See lyntctl params for each range.",
     "lyntctl set reverb_time 1700ms eq_3 -3.5", kCardStatuses},
    {"mute", CmdMute, true, "mute PARAM...",
     "Set the mute (or off) bit of volumes",
     "The volumes with a mute bit are listed by lyntctl params (mute_bit).",
     "lyntctl mute mic_volume", kCardStatuses},
    {"unmute", CmdUnmute, true, "unmute PARAM...",
     "Clear the mute (or off) bit of volumes", nullptr,
     "lyntctl unmute mic_volume", kCardStatuses},
    {"eq", CmdEq, true, "eq [--response N]",
     "Show the equaliser bands of the current effect (and their curve)",
     "Prints BAND NAME FREQUENCY GAIN Q TYPE for the fifteen bands EQ_1-EQ_15 (numbered\n"
     "1-15 by their names); with --response also the curve they make, in dB at N\n"
     "frequencies evenly spaced on a log scale from 20 Hz to 24 kHz. Reads the stored\n"
     "values, as get does.",
     "lyntctl eq --response 5", kStoredStatuses},
    {"effects", CmdEffects, true, "effects",
     "List the card's effect lists (EffectList.xml)",
     "Prints LIST POSITION NAME NUMBER, separated by tabs; NUMBER is the effect's number\n"
     "on the card (- when it has none). Reads the file only.",
     "lyntctl effects", kStoredStatuses},
    {"effect", CmdEffect, true, "effect NAME|POSITION",
     "Apply a built-in effect (positions 0-6)", nullptr,
     "lyntctl effect 0", kCardStatuses},
    {"my-effects", CmdMyEffects, true, "my-effects",
     "List your own effects: SLOT NAME (- for an empty slot)", nullptr,
     "lyntctl my-effects", kStoredStatuses},
    {"my-effect", CmdMyEffect, true, "my-effect NAME|SLOT",
     "Apply one of your own effects (slots 0-11)", nullptr,
     "lyntctl my-effect 0", kCardStatuses},
    {"save-effect", CmdSaveEffect, true, "save-effect SLOT NAME",
     "Store the current effect as your own effect SLOT (0-11)",
     "NAME keeps 63 characters: a longer one is cut there, and lyntctl says so.",
     "lyntctl save-effect 0 'My voice'", kCardStatuses},
    {"presets", CmdPresets, true, "presets [GROUP]",
     "List the presets: GROUP KEY POSITION NAME [custom SLOT]",
     "GROUP is 1 (equaliser), 2 (reverb) or 3 (voice), or that word. A custom preset never\n"
     "saved shows - as its name.",
     "lyntctl presets reverb", kStoredStatuses},
    {"preset", CmdPreset, true, "preset GROUP NAME|POSITION",
     "Apply a preset of group 1 (equaliser), 2 (reverb) or 3 (voice)", nullptr,
     "lyntctl preset reverb 1", kCardStatuses},
    {"save-preset", CmdSavePreset, true, "save-preset GROUP SLOT NAME",
     "Store the group's current values as its custom preset SLOT (0-3)",
     "Needs no card: the preset is stored from the stored values. NAME keeps 15\n"
     "characters: a longer one is cut there, and lyntctl says so.",
     "lyntctl save-preset voice 0 Deep", kStoredStatuses},
    {"send-effect", CmdSendEffect, true, "send-effect FILE",
     "Load an effect file and send it to the card",
     "Exits 0 only when the card took every frame.",
     "lyntctl send-effect ~/effects/hall.eff", kCardStatuses},
    {"send-clip", CmdSendClip, true, "send-clip FILE.mp3 --slot N [--volume V]",
     "Send an MP3 clip to one of the card's clip slots",
     "Slots 0-4 hold 15, 35, 35, 20 and 47 s; a longer clip is cut to the slot's length\n"
     "(and lyntctl says so). V is 0-100, default 100. Exits 0 only when the card took\n"
     "every block.",
     "lyntctl send-clip intro.mp3 --slot 0", kCardStatuses},
    {"pads", CmdPads, false, "pads",
     "List the favourite sound pads: POSITION NAME", nullptr,
     "lyntctl pads", "0 done; 1 bad usage"},
    {"pad", CmdPad, false, "pad NAME|POSITION|--stop",
     "Play a favourite sound pad in the running control panel, or stop it", nullptr,
     "lyntctl pad 0", kPadStatuses},
    {"panel", CmdPanel, false, "panel show|upgrade",
     "Bring the running control panel to the front, or open its firmware upgrade", nullptr,
     "lyntctl panel show", kPanelStatuses},
    {"monitor", CmdMonitor, true, "monitor [--levels]",
     "Print every parameter change the card reports, until interrupted",
     "Prints changes as get prints values (and level frames with --levels), and unplug and\n"
     "plug events; an unplugged card is waited for. Ends with 0 on Ctrl-C or SIGTERM. While\n"
     "it runs it keeps the stored values in step with the card's knobs; it sends them none.",
     "lyntctl --json monitor", kCardStatuses},
    {"firmware", CmdFirmware, false,
     "firmware check [--package FILE.zip]\n"
     "firmware upgrade [--package FILE.zip] [--yes]",
     "Compare the card's firmware with the newest, or write the newest",
     "The newest comes from the server, or from the package. upgrade writes it through the\n"
     "card's loader after the warning is confirmed (or --yes), printing its progress (as\n"
     "lines when standard error is not a terminal); it exits 0 only when the loader took\n"
     "every block. check only reads: it sends the card no values, and while the control\n"
     "panel runs it asks the panel for the card's versions. upgrade is refused while the\n"
     "panel runs (status 4): its firmware dialog is the way (lyntctl panel upgrade). A card\n"
     "left in its loader is upgraded again with the same command.",
     "lyntctl firmware upgrade --package fw.zip --yes",
     "0 done; 1 bad usage or a bad package file; 2 no card; 3 the card, the panel or the server "
     "failed; 4 refused (up to date, not confirmed, the panel runs, the card is in use)"},
    {"cloud", CmdCloud, false,
     "cloud sounds [CATEGORY]\n"
     "cloud sound ID\n"
     "cloud effects\n"
     "cloud effect NAME|POSITION [--use | --slot 1|2]",
     "The cloud's sound clips and effects: list them, download one",
     "cloud sounds lists the sound categories, or one category's clips as ID NAME URL\n"
     "(CATEGORY: position or name); cloud sound downloads clip ID into the downloads\n"
     "folder and prints its path. cloud effects lists the cloud effects as POSITION\n"
     "CATEGORY NAME [downloaded]; cloud effect downloads one (once) and uses it, or stores\n"
     "it in remote-control slot 1 or 2 of the card. The server is VELORA_CLOUD_URL when set.",
     "lyntctl cloud sounds 0", kCloudStatuses},
    {"doctor", CmdDoctor, false, "doctor [--device PATH]",
     "Check what the card needs from this machine, each with what to do",
     "Checks the card and its node's access, the udev rule, the tray, global hotkeys, the\n"
     "sound server and the card's devices, the cloud and the data folder. Each line: ok, warn\n"
     "or fail, what was found and, when it did not pass, what to do. Sends nothing to the\n"
     "card. Exits 0 once the checks ran; the failed ones are counted in the last line.",
     "lyntctl doctor", "0 the checks ran; 1 bad usage"},
    // The second half of "cloud effect": the record, the card and the panel's trees.
    {"cloud-effect-file", CmdCloudEffectFile, true, nullptr, nullptr, nullptr, nullptr, nullptr},
};
// clang-format on

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
