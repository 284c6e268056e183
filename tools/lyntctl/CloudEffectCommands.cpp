// lyntctl cloud effects / cloud effect: the cloud effects from the command line, through the same
// library the effects page uses. The list and the download run in lyntctl itself; what needs the
// card or the settings (the download record, using the effect, a remote-control slot) runs where
// the card is: in the running panel, whose trees follow, or in a session of lyntctl's own.
#include <optional>

#include "CloudEffectEvents.h"
#include "CloudEffectFiles.h"
#include "CloudEffectLibrary.h"
#include "CloudEffFiles.h"
#include "Commands.h"
#include "ConfigData.h"
#include "CtlSession.h"
#include "DataFolder.h"
#include "DiskSpace.h"
#include "EffectView.h"
#include "PanelClient.h"
#include "PanelLock.h"
#include "ccm_util/Dispatcher.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

using platform::profile::FromUtf8;
using platform::profile::ToUtf8;

constexpr uint32_t kListWaitMs = 20000;  // the 7 s request time-out with room to spare
constexpr uint32_t kFileWaitMs = 10000;

const char kUsage[] =
    "usage: lyntctl cloud effects | lyntctl cloud effect NAME|POSITION [--use | --slot 1|2]";

// Names are kept with "&" doubled for the panel's labels; people and scripts get them as sent.
std::string Plain(std::u16string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == u'&' && i + 1 < text.size() && text[i + 1] == u'&') {
            ++i;
        }
    }
    return ToUtf8(out);
}

bool FetchList(const Invocation& in, ccm_util::CManualDispatcher& pump,
               effects::CCloudEffectLibrary& cloud) {
    std::optional<bool> done;
    cloud.SetListListener([&](bool ok) { done = ok; });
    cloud.StartFetch();
    if (!pump.PumpUntil([&] { return done.has_value(); }, kListWaitMs) || !*done) {
        in.out.Error("cloud: " + (done ? ToUtf8(cloud.LastListError())
                                       : std::string("从服务器获取云音效列表失败")));
        return false;
    }
    return true;
}

// A name (as listed or as stored), else a position; -1 when neither.
long FindEntry(const std::vector<model::CloudEffectEntry>& entries, const std::string& wanted) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::u16string name = model::RecordText(entries[i].name);
        if (Plain(name) == wanted || ToUtf8(name) == wanted) {
            return static_cast<long>(i);
        }
    }
    if (!wanted.empty() && wanted.size() < 8 &&
        wanted.find_first_not_of("0123456789") == std::string::npos) {
        const long position = std::stol(wanted);
        if (position < static_cast<long>(entries.size())) {
            return position;
        }
    }
    return -1;
}

int ListEffects(const Invocation& in) {
    ccm_util::CManualDispatcher pump;
    ccm_util::CScopedDispatcher scope(&pump);
    effects::CCloudEffectLibrary cloud(appbase::DataFolderPath(), nullptr);
    if (!FetchList(in, pump, cloud)) {
        return kExitNoAnswer;
    }
    const auto& entries = cloud.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string category = Plain(model::RecordText(entries[i].category));
        const std::string name = Plain(model::RecordText(entries[i].name));
        const bool downloaded = cloud.DownloadMark(entries[i]) != 0;
        Json::Value o;
        o["type"] = "cloud_effect";
        o["position"] = static_cast<Json::UInt>(i);
        o["category"] = category;
        o["name"] = name;
        o["downloaded"] = downloaded;
        in.out.Emit(std::to_string(i) + " " + category + " " + name +
                        (downloaded ? " downloaded" : ""),
                    o);
    }
    return kExitOk;
}

// What to do with the file once it is here.
struct Wanted {
    std::string mode = "none";  // "none", "use", "1", "2"
};

bool ParseOptions(const std::vector<std::string>& args, size_t from, Wanted& wanted) {
    for (size_t i = from; i < args.size(); ++i) {
        if (args[i] == "--use" && wanted.mode == "none") {
            wanted.mode = "use";
        } else if (args[i] == "--slot" && i + 1 < args.size() && wanted.mode == "none" &&
                   (args[i + 1] == "1" || args[i + 1] == "2")) {
            wanted.mode = args[++i];
        } else {
            return false;
        }
    }
    return true;
}

int GetEffect(const Invocation& in) {
    Wanted wanted;
    if (in.args.size() < 2 || !ParseOptions(in.args, 2, wanted)) {
        in.out.Error(kUsage);
        return kExitUsage;
    }
    const std::filesystem::path data = appbase::DataFolder();
    if (data.empty()) {
        in.out.Error("no data folder for the downloads (set HOME or XDG_DATA_HOME)");
        return kExitUsage;
    }
    std::string name;
    std::string category;
    std::filesystem::path path;
    bool fresh = false;
    {
        ccm_util::CManualDispatcher pump;
        ccm_util::CScopedDispatcher scope(&pump);
        effects::CCloudEffectLibrary cloud(data, nullptr);
        if (!FetchList(in, pump, cloud)) {
            return kExitNoAnswer;
        }
        const long at = FindEntry(cloud.Entries(), in.args[1]);
        if (at < 0) {
            in.out.Error("no cloud effect " + in.args[1]);
            return kExitUsage;
        }
        const model::CloudEffectEntry entry = cloud.Entries()[static_cast<size_t>(at)];
        name = ToUtf8(model::RecordText(entry.name));
        category = ToUtf8(model::RecordText(entry.category));
        path = cloud.LocalPath(entry);
        // Downloaded once: a file that is here and marked complete is not fetched again.
        if (cloud.DownloadMark(entry) == 0) {
            std::optional<effects::CloudFileEnd> end;
            cloud.SetFileListener([&](const effects::CloudFileEnd& e) { end = e; });
            if (cloud.StartDownload(entry) != effects::CloudDownloadStart::kStarted ||
                !pump.PumpUntil([&] { return end.has_value(); }, kFileWaitMs) || !end->success) {
                const bool full = end && end->error == appbase::DiskFullText();
                in.out.Error(full ? ToUtf8(end->error)
                                  : Plain(model::RecordText(entry.name)) + "音效下载失败");
                return kExitNoAnswer;
            }
            fresh = true;
        }
    }
    // The record, the card and the trees: where the card is.
    std::vector<std::string> words{"cloud-effect-file", wanted.mode, fresh ? "new" : "old",
                                   name, category, path.string()};
    if (platform::instance::IsPanelRunning()) {
        return RunThroughPanel(words, in.out.Json(), in.showProgress);
    }
    if (CConfigData::DefaultPath().empty()) {
        in.out.Error("no data folder for the settings; nothing done");
        return kExitUsage;
    }
    Invocation local = in;
    local.args.assign(words.begin() + 1, words.end());
    return CmdCloudEffectFile(local);
}

int Done(const COutput& out, const std::string& name, const std::filesystem::path& path,
         const std::string& what) {
    Json::Value o;
    o["type"] = "result";
    o["command"] = "cloud effect";
    o["ok"] = true;
    o["name"] = name;
    o["path"] = path.string();
    o["done"] = what;
    out.Emit(what + " " + name + ": " + path.string(), o);
    return kExitOk;
}

// As the effects page stores an effect from the lists in remote-control slot 1 or 2.
int StoreInSlot(const Invocation& in, int slot, const std::string& name,
                const std::filesystem::path& path) {
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    CWorkSpace& ws = session->Workspace();
    const std::u16string identifier = model::TextFromPath(path);
    ws.StoreToSlot(slot, {});  // its answer tells nothing more
    const int n = effects::EffectNumberOfIdentifier(identifier);
    if (!ws.SelectEffectNumber(n)) {
        in.out.Error("保存" + Plain(FromUtf8(name)) + "音效失败!");
        return kExitNoAnswer;
    }
    model::EffectRecord record{};
    model::SetRecordText(record.name, FromUtf8(name));
    model::SetRecordText(record.source, identifier);
    record.downloaded = 1;
    if (!ws.SaveDeviceCustomEffect(slot - 1, record, 1)) {
        in.out.Error("the settings file could not be written");
        return kExitUsage;
    }
    if (ws.GetParam(model::kParamEffectNumber) == slot + 4) {
        ws.SelectEffectNumber(n);  // the slot's effect is the one in use: it changed
    }
    return Done(in.out, Plain(FromUtf8(name)), path, "slot " + std::to_string(slot));
}

}  // namespace

int CmdCloudEffects(const Invocation& in) {
    if (in.args.size() == 1 && in.args[0] == "effects") {
        return ListEffects(in);
    }
    if (!in.args.empty() && in.args[0] == "effect") {
        return GetEffect(in);
    }
    in.out.Error(kUsage);
    return kExitUsage;
}

// cloud-effect-file MODE new|old NAME CATEGORY PATH: a downloaded cloud effect's record and use.
int CmdCloudEffectFile(const Invocation& in) {
    if (in.args.size() != 5) {
        in.out.Error(kUsage);
        return kExitUsage;
    }
    const std::string& mode = in.args[0];
    const std::string& name = in.args[2];
    const std::filesystem::path path(in.args[4]);
    // Only a file under the data folder's CloudEff is taken: the panel acts for a client.
    const std::filesystem::path data = appbase::DataFolderPath();
    if (!model::IsCloudEffectFile(data, path)) {
        in.out.Error("not a downloaded cloud effect: " + path.string());
        return kExitUsage;
    }
    if (in.args[1] == "new") {
        const model::CloudEffectEntry record =
            effects::MakeDownloadRecord(FromUtf8(name), FromUtf8(in.args[3]), path);
        if (in.panel) {
            in.panel->Workspace().RecordDownloadedEffect(record);
        } else if (!model::CEffectStore(CConfigData::DefaultPath()).AppendDownloadedEffect(record)) {
            in.out.Error("the download record could not be stored");
        }
    }
    int status = kExitOk;
    if (mode == "use") {
        status = SendEffectFile(in, path, FromUtf8(name), Plain(FromUtf8(name)));
    } else if (mode == "1" || mode == "2") {
        status = StoreInSlot(in, mode == "1" ? 1 : 2, name, path);
    } else {
        status = Done(in.out, Plain(FromUtf8(name)), path, "downloaded");
    }
    if (in.panel) {
        // The panel's trees show the download and the effect in use.
        ccm_util::EventBus::Instance().Fire(effects::EventCloudEffectsChanged{});
    }
    return status;
}

}  // namespace ctl
