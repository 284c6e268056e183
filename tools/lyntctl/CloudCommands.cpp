// lyntctl cloud: the cloud sound library from the command line, through the same library the
// sound-pad page uses.
#include <cstdlib>
#include <optional>

#include "CloudSoundJob.h"
#include "CloudSoundLibrary.h"
#include "Commands.h"
#include "CtlSession.h"
#include "DataFolder.h"
#include "MoodConfig.h"
#include "ccm_util/Dispatcher.h"
#include "profile/ProfileText.h"

namespace ctl {

namespace {

using platform::profile::ToUtf8;

constexpr uint32_t kListWaitMs = 120000;  // many categories at 7 s each in the worst case
constexpr uint32_t kFileWaitMs = 10000;

const char kUsage[] =
    "usage: lyntctl cloud sounds [CATEGORY] | lyntctl cloud sound ID | lyntctl cloud effects |\n"
    "       lyntctl cloud effect NAME|POSITION [--use | --slot 1|2]";

// Fetches the categories and their clips into the library's store; false (error printed) on
// failure.
bool FetchAll(const Invocation& in, ccm_util::CManualDispatcher& pump,
              sound::CCloudSoundLibrary& cloud) {
    std::optional<bool> done;
    cloud.SetListListener([&](bool ok) { done = ok; });
    cloud.StartFetch();
    if (!pump.PumpUntil([&] { return done.has_value(); }, kListWaitMs) || !*done) {
        // One line with the address tried; the panel's text speaks of effect categories, which
        // these are not.
        std::string reason = ToUtf8(cloud.LastListError());
        if (reason.empty() || cloud.LastListError() == u"从服务器获取特效分类失败") {
            reason = "no usable answer";
        }
        in.out.Error("cloud: the sound categories could not be fetched from " +
                     sound::CCloudSoundLibrary::DefaultBaseUrl() + ": " + reason);
        return false;
    }
    return true;
}

int ListSounds(const Invocation& in) {
    sound::CMoodConfig store;
    ccm_util::CManualDispatcher pump;
    ccm_util::CScopedDispatcher scope(&pump);
    sound::CCloudSoundLibrary cloud(store, appbase::DataFolderPath());
    if (!FetchAll(in, pump, cloud)) {
        return kExitNoAnswer;
    }
    if (in.args.size() == 1) {
        for (size_t k = 0; k < store.CategoryCount(); ++k) {
            const std::string name = ToUtf8(store.CategoryName(k));
            const size_t clips = store.CategoryItems(k).size();
            Json::Value o;
            o["type"] = "cloud_category";
            o["category"] = static_cast<Json::UInt>(k);
            o["name"] = name;
            o["clips"] = static_cast<Json::UInt>(clips);
            in.out.Emit(std::to_string(k) + " " + name + " " + std::to_string(clips), o);
        }
        return kExitOk;
    }
    // CATEGORY: a position or a name.
    const std::string wanted = in.args[1];
    size_t category = store.CategoryCount();
    for (size_t k = 0; k < store.CategoryCount(); ++k) {
        if (ToUtf8(store.CategoryName(k)) == wanted || std::to_string(k) == wanted) {
            category = k;
            break;
        }
    }
    if (category == store.CategoryCount()) {
        in.out.Error("no cloud category " + wanted);
        return kExitUsage;
    }
    for (const sound::MoodItem& item : store.CategoryItems(category)) {
        const std::string name = ToUtf8(sound::ClipName(item));
        const std::string url = ToUtf8(sound::ClipPath(item));
        Json::Value o;
        o["type"] = "cloud_clip";
        o["id"] = item.cloudId;
        o["name"] = name;
        o["url"] = url;
        in.out.Emit(std::to_string(item.cloudId) + " " + name + " " + url, o);
    }
    return kExitOk;
}

int DownloadSound(const Invocation& in) {
    int32_t id = 0;
    if (!ParseCloudId(in.args[1], &id)) {
        in.out.Error(kUsage);
        return kExitUsage;
    }
    // The downloaded list lives in the sound-pad file, as when the page downloads.
    sound::CMoodConfig store;
    if (!store.Init(sound::CMoodConfig::DefaultPath())) {
        in.out.Error("no sound-pad file in the data folder");
        return kExitUsage;
    }
    ccm_util::CManualDispatcher pump;
    ccm_util::CScopedDispatcher scope(&pump);
    CCloudSoundJob job(store.Path(), appbase::DataFolder(),
                       sound::CCloudSoundLibrary::DefaultBaseUrl());
    int status = kExitNoAnswer;
    sound::MoodItem clip{};
    std::string error = "cloud: 下载文件失败";
    if (!job.Start(id, [&](int s, const sound::MoodItem& c, const std::string& e) {
            status = s;
            clip = c;
            error = e;
        })) {
        in.out.Error("cloud: cannot start");
        return kExitNoAnswer;
    }
    if (!pump.PumpUntil([&] { return job.Finished(); }, kListWaitMs + kFileWaitMs)) {
        in.out.Error("cloud: 下载文件失败");
        return kExitNoAnswer;
    }
    if (status != kExitOk) {
        in.out.Error(error);
        return status;
    }
    // Without the panel this is the only writer of the file.
    store.AddDownloaded(clip);
    EmitCloudClip(in.out, id, clip);
    return kExitOk;
}

}  // namespace

int CmdCloud(const Invocation& in) {
    if (!in.args.empty() && in.args[0] == "sounds" && in.args.size() <= 2) {
        return ListSounds(in);
    }
    if (in.args.size() == 2 && in.args[0] == "sound") {
        return DownloadSound(in);
    }
    if (!in.args.empty() && (in.args[0] == "effects" || in.args[0] == "effect")) {
        return CmdCloudEffects(in);
    }
    in.out.Error(kUsage);
    return kExitUsage;
}

}  // namespace ctl
