// The card as the system sees it: found by udev, its node open to this user, the rule installed.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "Doctor.h"
#include "common/Device/HidDevice/HidBase.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"
#include "common/Device/VirtualCard/VirtualCardDevice.h"

namespace doctor {

namespace {

constexpr const char* kReloadHint =
    "执行 sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=hidraw，"
    "或重新插拔声卡";

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

std::string SocketOf(const std::string& path) {
    return path.substr(std::strlen(CVirtualCardDevice::kPathPrefix));
}

// Why a hidraw node is closed to this user, as far as the rule, the node and logind tell.
void ExplainDenied(const std::string& node, const Options& options, CheckResult& r) {
    const std::filesystem::path rule = FindUdevRule(options.ruleFolders);
    struct stat st {};
    const bool known = ::stat(node.c_str(), &st) == 0;
    // The rule gives the node mode 0660 and, through uaccess, an ACL for the seat's user.
    const bool hasAcl = ::getxattr(node.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
    const bool ruleMode = known && (st.st_mode & 0060) == 0060;
    const std::string shown =
        known ? "（权限 " + Octal(st.st_mode) + "，属主 " + std::to_string(st.st_uid) + ":" +
                    std::to_string(st.st_gid) + (hasAcl ? "，有 ACL）" : "，无 ACL）")
              : std::string();
    if (rule.empty()) {
        r.found = "本用户不能读写 " + node + shown + "：没有安装声卡的 udev 规则";
        r.todo =
            "安装 udev 规则 70-velora-lynt.rules 到 /etc/udev/rules.d（sudo make install "
            "或安装软件包），然后" +
            std::string(kReloadHint);
        return;
    }
    if (!hasAcl && !ruleMode) {
        r.found = "本用户不能读写 " + node + shown + "：规则 " + rule.string() +
                  " 已安装，但还没有应用到这个节点";
        r.todo = kReloadHint;
        return;
    }
    if (sd_uid_is_on_seat(::getuid(), 1, nullptr) <= 0) {
        r.found = "本用户不能读写 " + node + shown +
                  "：本用户不是这台电脑座席上的活动用户（远程或后台会话得不到声卡的权限）";
        r.todo =
            "在这台电脑前登录的桌面会话中运行；远程使用时，请管理员在规则中用 GROUP "
            "把声卡交给本用户所在的组";
        return;
    }
    r.found = "本用户不能读写 " + node + shown;
    r.todo = "重新插拔声卡，或注销后重新登录";
}

CheckResult CheckVirtualAccess(const std::string& path) {
    CheckResult r{"card_access", "声卡读写权限", Level::Ok, {}, {}};
    const std::string socket = SocketOf(path);
    // Connecting would make the virtual card see a host arrive; the access bits decide it alike.
    if (::faccessat(AT_FDCWD, socket.c_str(), R_OK | W_OK, AT_EACCESS) == 0) {
        r.found = "本用户可以读写虚拟声卡 " + socket;
        return r;
    }
    const int error = errno;
    struct stat st {};
    r.level = Level::Fail;
    if (::stat(socket.c_str(), &st) == 0) {
        r.found = "本用户不能读写虚拟声卡 " + socket + "（权限 " + Octal(st.st_mode) + "，属主 " +
                  std::to_string(st.st_uid) + "）";
    } else {
        r.found = "虚拟声卡 " + socket + " 无法访问：" + std::strerror(error);
    }
    r.todo = "以启动 lynt-virtual-card 的用户运行，或用 chmod 放宽套接字的权限";
    return r;
}

std::string DescribeCard(const std::string& path, uint16_t productId) {
    std::string text =
        CVirtualCardDevice::IsVirtualPath(path) ? "虚拟声卡 " + SocketOf(path) : "声卡 " + path;
    if (productId == CHidDeviceBuilder::kLoaderProductId) {
        text += "（处于固件升级模式）";
    }
    return text;
}

}  // namespace

const char* LevelName(Level level) {
    switch (level) {
        case Level::Ok:
            return "ok";
        case Level::Warn:
            return "warn";
        case Level::Fail:
            return "fail";
    }
    return "fail";
}

std::filesystem::path FindUdevRule(const std::vector<std::filesystem::path>& folders) {
    for (const auto& folder : folders) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            if (entry.path().extension() != ".rules") {
                continue;
            }
            std::ifstream in(entry.path());
            std::string line;
            while (std::getline(in, line)) {
                if (line.empty() || line[0] == '#') {
                    continue;
                }
                for (char& c : line) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                if (line.find("subsystem==\"hidraw\"") != std::string::npos &&
                    line.find("2b53") != std::string::npos) {
                    return entry.path();
                }
            }
        }
    }
    return {};
}

CheckResult CheckNodeAccess(const std::string& path, const Options& options) {
    if (CVirtualCardDevice::IsVirtualPath(path)) {
        return CheckVirtualAccess(path);
    }
    CheckResult r{"card_access", "声卡读写权限", Level::Ok, {}, {}};
    // Opened and closed at once: nothing is sent, and a panel that holds the card keeps it.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        r.found = "本用户可以读写 " + path;
        return r;
    }
    const int error = errno;
    r.level = Level::Fail;
    if (error == EACCES || error == EPERM) {
        ExplainDenied(path, options, r);
        return r;
    }
    r.found = "无法打开 " + path + "：" + std::strerror(error);
    r.todo = "重新插拔声卡；仍不行时换一个 USB 口";
    return r;
}

std::vector<CheckResult> CheckCards(const Options& options) {
    std::vector<CheckResult> out;
    if (!options.devicePath.empty()) {
        out.push_back({"card", "声卡", Level::Ok, "检查指定的设备 " + options.devicePath, {}});
        out.push_back(CheckNodeAccess(options.devicePath, options));
        return out;
    }
    for (uint16_t product : {CHidDeviceBuilder::kProductId, CHidDeviceBuilder::kLoaderProductId}) {
        std::vector<std::string> paths;
        CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId, product);
        for (const std::string& path : paths) {
            out.push_back({"card", "声卡", Level::Ok, "找到" + DescribeCard(path, product), {}});
            out.push_back(CheckNodeAccess(path, options));
        }
    }
    if (out.empty()) {
        CheckResult r{"card", "声卡", Level::Fail, "udev 没有找到声卡（厂商 2b53 的 hidraw 设备）",
                      "用 USB 线把声卡接到电脑上；已经接上时，换一个 USB 口或重新插拔"};
        if (const char* folder = std::getenv(CVirtualCardDevice::kFolderVariable);
            folder && *folder) {
            r.found += "，虚拟声卡文件夹 " + std::string(folder) + " 中也没有";
        }
        out.push_back(std::move(r));
    }
    return out;
}

CheckResult CheckUdevRule(const Options& options) {
    CheckResult r{"udev_rule", "udev 规则", Level::Ok, {}, {}};
    const std::filesystem::path rule = FindUdevRule(options.ruleFolders);
    if (!rule.empty()) {
        r.found = "已安装：" + rule.string();
        return r;
    }
    r.level = Level::Fail;
    std::string folders;
    for (const auto& folder : options.ruleFolders) {
        folders += (folders.empty() ? "" : "、") + folder.string();
    }
    r.found = folders + " 中没有声卡（厂商 2b53）的规则";
    r.todo =
        "安装 70-velora-lynt.rules 到 /etc/udev/rules.d（sudo make install 或安装软件包），"
        "然后" +
        std::string(kReloadHint);
    return r;
}

}  // namespace doctor
