// The cloud service and the data folder, and the run of all checks.
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "DataFolder.h"
#include "DiskSpace.h"
#include "Doctor.h"
#include "LibCurlHelper/LibCurlHelper.h"
#include "ccm_util/LastResort.h"

namespace doctor {

namespace {

// Below this the downloads and recordings start refusing; warn well before.
constexpr uint64_t kLowSpaceBytes = 512ull * 1024 * 1024;

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

}  // namespace

CheckResult CheckCloud(const Options& options) {
    CheckResult r{"cloud", "云服务", Level::Ok, {}, {}};
    const std::string url = options.cloudUrl.empty() ? CloudBaseUrl() : options.cloudUrl;
    CLibCurlHelper::GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl) {
        r.level = Level::Fail;
        r.found = "libcurl 无法初始化";
        r.todo = "重新安装软件包";
        return r;
    }
    // Any HTTP answer means the server is there; the page asked for does not matter.
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeoutMs));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (code == CURLE_OK && status > 0) {
        r.found = "可以连接 " + url + "（HTTP " + std::to_string(status) + "）";
        return r;
    }
    r.level = Level::Fail;
    r.found = "连接不上 " + url + "：" + curl_easy_strerror(code);
    r.todo =
        "检查网络连接和代理设置；设置了 VELORA_CLOUD_URL 时检查它的地址。"
        "云音效和云音频在连接恢复前不可用，其它功能照常";
    return r;
}

CheckResult CheckDataFolder(const Options& options) {
    CheckResult r{"data_folder", "数据文件夹", Level::Ok, {}, {}};
    const std::filesystem::path folder =
        options.dataFolder.empty() ? appbase::DataFolder() : options.dataFolder;
    if (folder.empty()) {
        r.level = Level::Fail;
        r.found = "不知道本用户的主文件夹，没有数据文件夹";
        r.todo = "设置 HOME 或 XDG_DATA_HOME";
        return r;
    }
    // A real file proves it: permissions, a read-only mount and ACLs all have their say.
    const std::string probe = (folder / ".velora-doctor-XXXXXX").string();
    std::string name = probe;
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        const int error = errno;
        r.level = Level::Fail;
        r.found = "不能在 " + folder.string() + " 中写文件：" + std::strerror(error);
        r.todo =
            "让本用户拥有这个文件夹并可以写入（例如 chmod u+rwx），或用 XDG_DATA_HOME "
            "指定另一个文件夹";
        return r;
    }
    ::close(fd);
    ::unlink(name.c_str());
    uint64_t free = 0;
    if (!appbase::FreeBytes(folder, free)) {
        r.level = Level::Warn;
        r.found = folder.string() + " 可写，但无法得知剩余空间";
        r.todo = "确认磁盘上还有空间";
        return r;
    }
    r.found = folder.string() + " 可写，剩余 " + Megabytes(free);
    if (free < kLowSpaceBytes) {
        r.level = free < appbase::kDiskReserveBytes ? Level::Fail : Level::Warn;
        r.todo = "清理磁盘：空间不足时无法下载云音效、云音频，也无法录音";
    }
    return r;
}

std::vector<CheckResult> RunChecks(const Options& options) {
    // Side by side: the run takes as long as the slowest check, each of which is bounded.
    std::vector<CheckResult> cards, sound;
    CheckResult rule, tray, hotkeys, cloud, data;
    {
        std::jthread t1(
            [&] { ccm_util::RunGuarded("doctor cards", [&] { cards = CheckCards(options); }); });
        std::jthread t2(
            [&] { ccm_util::RunGuarded("doctor sound", [&] { sound = CheckSound(options); }); });
        std::jthread t3([&] {
            ccm_util::RunGuarded("doctor desktop", [&] {
                tray = CheckTrayHost(options);
                hotkeys = CheckHotkeys(options);
            });
        });
        std::jthread t4(
            [&] { ccm_util::RunGuarded("doctor cloud", [&] { cloud = CheckCloud(options); }); });
        rule = CheckUdevRule(options);
        data = CheckDataFolder(options);
    }
    std::vector<CheckResult> all = std::move(cards);
    all.push_back(std::move(rule));
    all.insert(all.end(), sound.begin(), sound.end());
    for (CheckResult* r : {&tray, &hotkeys, &cloud, &data}) {
        all.push_back(std::move(*r));
    }
    return all;
}

}  // namespace doctor
