// lyntctl firmware: the card's firmware against the newest, and the upgrade, through the same
// manager and checks as the panel's firmware dialog.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "Commands.h"
#include "ConfigData.h"
#include "CtlSession.h"
#include "FirmwareTexts.h"
#include "FirmwareUpgradeManager.h"
#include "FirmwareVersion.h"
#include "FirmwareWriterLock.h"
#include "InterruptWatch.h"
#include "PanelCardInfo.h"
#include "PanelLock.h"

namespace ctl {

namespace {

struct FirmwareArgs {
    bool upgrade = false;
    bool yes = false;
    std::string package;
};

bool ParseArgs(const std::vector<std::string>& args, FirmwareArgs& out) {
    if (args.empty() || (args[0] != "check" && args[0] != "upgrade")) {
        return false;
    }
    out.upgrade = args[0] == "upgrade";
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--package" && i + 1 < args.size()) {
            out.package = args[++i];
        } else if (args[i] == "--yes" && out.upgrade) {
            out.yes = true;
        } else {
            return false;
        }
    }
    return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Takes the manager's messages on lyntctl's own "UI thread".
class CUpgradeWatch : public ccm_util::CMessageTarget {
public:
    // show: a line that rewrites itself (a terminal); lines: a line at every tenth instead, so
    // that a log or a pipe sees the upgrade go on.
    CUpgradeWatch(bool show, bool lines, const COutput& out)
        : m_show(show), m_lines(lines && !show), m_out(out) {}
    void OnMessage(uint32_t msg, ccm_util::WPARAM w, ccm_util::LPARAM l) override {
        if (msg == firmware::UM_FW_PHASE && w == firmware::kPhaseUpgrade) {
            m_done = true;
            m_result = l != 0;
            if (m_show) {
                m_out.PrintError("\n");
            }
        } else if (msg == firmware::UM_FW_STATUS && (m_show || m_lines)) {
            if (w == firmware::kStatusRange) {
                m_length = l;
                m_tenth = -1;
            } else if (w == firmware::kStatusWritingStep) {
                m_out.PrintError(std::string(m_show ? "\n" : "") + "writing step " +
                                 std::to_string(l + 1) + "\n");
            } else if (w == firmware::kStatusPosition && m_length > 0) {
                const long long percent = l * 100 / m_length;
                if (m_lines && percent / 10 == m_tenth) {
                    return;
                }
                m_tenth = percent / 10;
                char text[80];
                std::snprintf(text, sizeof text,
                              "%swriting firmware: %3lld%% (%lld of %lld bytes)%s",
                              m_show ? "\r" : "", percent, static_cast<long long>(l), m_length,
                              m_show ? "" : "\n");
                m_out.PrintError(text);
            }
        }
    }
    bool Done() const { return m_done; }
    bool Result() const { return m_result; }

private:
    bool m_show;
    bool m_lines;
    COutput m_out;
    long long m_length = 0;
    long long m_tenth = -1;
    bool m_done = false;
    bool m_result = false;
};

bool Confirm(const COutput& out) {
    out.PrintError(firmware::kUpgradeWarning);
    if (!::isatty(STDIN_FILENO)) {
        return false;
    }
    out.PrintError("continue? [y/N] ");
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

uint32_t EnvMs(const char* name, uint32_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<uint32_t>(std::strtoul(v, nullptr, 10)) : fallback;
}

// Where the newest firmware comes from (the package given, or the server) and the line that
// compares it with the card's. False when there is nothing to compare with; status says why.
bool ReportNewest(const Invocation& in, const FirmwareArgs& args, std::vector<uint8_t> package,
                  firmware::CFirmwareUpgradeManager& manager, bool haveServer, int* status) {
    bool ready = false;
    if (!args.package.empty()) {
        ready = manager.UsePackage(std::move(package));
    } else if (!haveServer) {
        in.out.Error("no firmware server in this build: give the package with --package FILE.zip");
        *status = kExitNoAnswer;
        return false;
    } else {
        ready = manager.CheckServer() && manager.Download();
    }
    if (!ready) {
        in.out.Error(manager.ErrorText());
        // A package the user gave that is no usable package is a usage error; the server's is not.
        *status = args.package.empty() ? kExitNoAnswer : kExitUsage;
        return false;
    }
    const bool available = manager.UpgradeAvailable();
    Json::Value o;
    o["type"] = "firmware";
    o["firmware_version"] = manager.CardFirmwareVersion();
    o["hardware_version"] = manager.CardHardwareVersion();
    o["newest_firmware_version"] = manager.NewestVersion();
    o["upgrade_available"] = available;
    o["source"] = args.package.empty() ? "server" : "package";
    in.out.Emit(
        "card firmware " + manager.CardFirmwareVersion() + ", hardware " +
            manager.CardHardwareVersion() + "; newest firmware " + manager.NewestVersion() +
            (available ? "; an upgrade is available" : std::string("; ").append(firmware::kUpToDate)),
        o);
    *status = kExitOk;
    return true;
}

// firmware check while the panel holds the card: the panel reads its versions, the newest
// firmware is looked up here, off the panel's UI thread.
int CheckBesideThePanel(const Invocation& in, const FirmwareArgs& args,
                        std::vector<uint8_t> package) {
    CardVersions versions;
    if (int status = AskPanelForVersions(in.out, &versions)) {
        return status;
    }
    ccm_util::CManualDispatcher dispatcher;
    ccm_util::CScopedDispatcher scoped(&dispatcher);
    // The panel's card is seen only through the versions the panel reads from it.
    firmware::CNoCardLink link;
    std::unique_ptr<firmware::IFirmwareServer> server =
        args.package.empty() ? firmware::CreateFirmwareServer() : nullptr;
    CUpgradeWatch watch(false, false, in.out);
    std::atomic<int> upgrading{0};
    firmware::CFirmwareUpgradeManager manager(link, server.get(), watch.Handle(), &upgrading);
    manager.UseCardVersions(versions.hardware, versions.firmware);
    int status = kExitOk;
    ReportNewest(in, args, std::move(package), manager, server != nullptr, &status);
    dispatcher.Pump();  // the phases' messages, so none is left for a target that is gone
    return status;
}

}  // namespace

int CmdFirmware(const Invocation& in) {
    FirmwareArgs args;
    if (!ParseArgs(in.args, args)) {
        in.out.Error(
            "usage: lyntctl firmware check [--package FILE.zip] | "
            "firmware upgrade [--package FILE.zip] [--yes]");
        return kExitUsage;
    }
    // The panel owns the card; its firmware dialog is the way to upgrade while it runs. A check
    // only reads, so it goes on beside the panel.
    const bool panelRuns = platform::instance::IsPanelRunning();
    if (panelRuns && args.upgrade) {
        in.out.Error(
            "the control panel is running: use its firmware upgrade (lyntctl panel upgrade)");
        return kExitPanelRunning;
    }
    // Another writer of the loader (a panel's dialog that started first) has it.
    std::string busy;
    if (args.upgrade && firmware::CFirmwareWriterLock::HeldElsewhere(busy)) {
        in.out.Error(busy);
        return kExitPanelRunning;
    }
    // A signal during the write ends it after the block in hand, never mid-block; blocked before
    // any thread starts, so that this thread alone takes it.
    std::optional<CInterruptWatch> interrupt;
    if (args.upgrade) {
        interrupt.emplace();
    }
    std::vector<uint8_t> package;
    if (!args.package.empty() && !ReadFile(args.package, package)) {
        in.out.Error("cannot read " + args.package);
        return kExitUsage;
    }
    if (panelRuns) {
        return CheckBesideThePanel(in, args, std::move(package));
    }
    // A check only reads: the card keeps the values it has.
    CCtlSession session(args.upgrade ? SessionStart::GiveStoredValues : SessionStart::ReadOnly);
    // What Open says of a missing card is said only when the card is not in its loader either.
    std::vector<std::string> openErrors;
    const COutput held(in.out.Json(), [&openErrors](bool, const std::string& text) {
        openErrors.push_back(text.ends_with('\n') ? text.substr(0, text.size() - 1) : text);
    });
    const int opened = session.Open(in.device, held);
    firmware::CHidCardLink link(session.Builder(), session.Protocol(), session.Workspace(),
                                &session.Connection());
    // A card left in its loader by an upgrade that failed is upgraded again from the package.
    const bool inLoader = opened == kExitNoCard && session.Builder().GetManager() &&
                          link.LoaderPresent() && link.OpenLoaderHere();
    if (opened != kExitOk && !inLoader) {
        for (const std::string& text : openErrors)
            in.out.Error(text);
        return opened;
    }
    if (inLoader) {
        in.out.PrintError("the card is in its firmware loader: its firmware is written again\n");
    }
    std::unique_ptr<firmware::IFirmwareServer> server =
        args.package.empty() ? firmware::CreateFirmwareServer() : nullptr;
    std::atomic<int> upgrading{0};
    CUpgradeWatch watch(in.showProgress, in.progressLines, in.out);
    firmware::CFirmwareUpgradeManager manager(link, server.get(), watch.Handle(), &upgrading);
    firmware::Pauses pauses;
    pauses.loaderRoundMs = EnvMs("LYNT_FW_LOADER_ROUND_MS", pauses.loaderRoundMs);
    manager.SetPauses(pauses);
    // The card's versions outlive its stay in the loader here (the panel reads them too).
    manager.SetSettingsFile(CConfigData::DefaultPath());

    if (inLoader) {
        if (!manager.UseCardInLoader()) {
            in.out.Error(manager.ErrorText());
            return kExitPanelRunning;
        }
    } else if (!manager.ReadDeviceInfo()) {
        in.out.Error(manager.ErrorText());
        return kExitNoAnswer;
    }
    int status = kExitOk;
    const bool ready =
        ReportNewest(in, args, std::move(package), manager, server != nullptr, &status);
    session.Dispatcher().Pump();  // the status messages of the phases above
    if (!ready || !args.upgrade) {
        return status;
    }
    const bool available = manager.UpgradeAvailable();
    if (!available) {
        in.out.Error(std::string(firmware::kUpToDate).append(": nothing written"));
        return kExitPanelRunning;
    }
    if (!args.yes && !Confirm(in.out)) {
        in.out.Error("not confirmed: nothing written (give --yes to upgrade without asking)");
        return kExitPanelRunning;
    }
    const auto start = std::chrono::steady_clock::now();
    manager.StartUpgrade();
    // Every block waits at most 3 × 5 s; the whole upgrade is far below this bound.
    session.Dispatcher().PumpUntil([&] { return watch.Done() || interrupt->Interrupted(); },
                                   6 * 60 * 60 * 1000);
    if (!watch.Done()) {
        // The manager goes with this function: its writer stops after the block in hand.
        in.out.Error(
            "interrupted: the write stops after the block in hand; the card stays in its loader "
            "until the upgrade is run again");
        in.out.Error(firmware::kRecoveryText);
        return kExitNoAnswer;
    }
    const bool ok = watch.Done() && watch.Result();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const firmware::WriteStats stats = manager.Stats();
    Json::Value r;
    r["type"] = "result";
    r["command"] = "firmware upgrade";
    r["ok"] = ok;
    r["touched"] = !manager.Untouched();
    r["blocks"] = static_cast<Json::UInt64>(stats.blocks);
    r["duration"] = seconds;
    r["duration_unit"] = "s";
    if (stats.totalSeconds > 0) {
        r["blocks_per_second"] = static_cast<double>(stats.blocks) / stats.totalSeconds;
    }
    if (ok) {
        link.Release();  // the card comes back once it is plugged in again
        in.out.Emit(firmware::kDoneText, r);
        return kExitOk;
    }
    r["message"] = manager.ErrorText();
    if (in.out.Json()) {
        in.out.Emit("", r);
    }
    in.out.Error(manager.ErrorText().empty() ? std::string("the upgrade failed")
                                             : manager.ErrorText());
    if (!manager.Untouched()) {
        in.out.Error(firmware::kRecoveryText);
    }
    return kExitNoAnswer;
}

}  // namespace ctl
