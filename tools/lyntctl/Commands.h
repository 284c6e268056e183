#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Output.h"

namespace ctl {

class ICtlTarget;

struct Invocation {
    ICtlTarget* panel = nullptr;  // set when the running panel carries the command out
    std::string device;           // --device PATH, or empty
    COutput out{false};
    bool showProgress = false;      // a download's progress, on a terminal
    bool progressLines = false;     // standard error is no terminal: progress as whole lines
    std::vector<std::string> args;  // after the command name
};

int CmdDevices(const Invocation& in);
int CmdParams(const Invocation& in);
int CmdMute(const Invocation& in);
int CmdUnmute(const Invocation& in);
int CmdMyEffects(const Invocation& in);
int CmdPresets(const Invocation& in);
int CmdPads(const Invocation& in);
int CmdInfo(const Invocation& in);
int CmdGet(const Invocation& in);
int CmdSet(const Invocation& in);
int CmdEffect(const Invocation& in);
int CmdEffects(const Invocation& in);
int CmdMyEffect(const Invocation& in);
int CmdSaveEffect(const Invocation& in);
int CmdPreset(const Invocation& in);
int CmdSavePreset(const Invocation& in);
int CmdSendEffect(const Invocation& in);
int CmdSendClip(const Invocation& in);
int CmdMonitor(const Invocation& in);
int CmdPanel(const Invocation& in);
int CmdPad(const Invocation& in);
int CmdEq(const Invocation& in);
int CmdCloud(const Invocation& in);
int CmdFirmware(const Invocation& in);
int CmdCloudEffects(const Invocation& in);
int CmdCloudEffectFile(const Invocation& in);
int CmdDoctor(const Invocation& in);

// Sends an effect file to the card as send-effect does; the file becomes the current effect
// under name. shown: how the file is named in messages.
int SendEffectFile(const Invocation& in, const std::filesystem::path& file,
                   std::u16string_view name, const std::string& shown);
// The card's answer to a sent effect file as send-effect reports it.
int SentEffect(const COutput& out, const std::string& name, bool sent);

struct Command {
    const char* name;
    int (*run)(const Invocation&);
    bool needsCard;  // the running panel carries it out; works on the panel's settings
    const char* usage;  // "get [PARAM...]" and more lines; null: lyntctl's own, not offered
    const char* summary;  // one line for the command list
    const char* details;  // what help COMMAND adds: arguments, what it does, lines it prints
    const char* example;
    const char* statuses;  // the exit statuses it gives, as "0 done, 1 ..."
};
std::span<const Command> AllCommands();
const Command* FindCommand(const std::string& name);

}  // namespace ctl
