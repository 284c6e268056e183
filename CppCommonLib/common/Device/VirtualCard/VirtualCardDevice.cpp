#include "VirtualCardDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "../ReportDescriptor.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\VirtualCard\\VirtualCardDevice"

namespace {
constexpr int kDescriptorWaitMs = 2000;
constexpr size_t kMaxDescriptor = 4096;
}  // namespace

CVirtualCardDevice::CVirtualCardDevice(const std::string& devicePath) : CHidBase(devicePath) {}

CVirtualCardDevice::~CVirtualCardDevice() { CloseDevice(); }

void CVirtualCardDevice::CloseDevice() {
    CHidBase::CloseDevice();
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

bool CVirtualCardDevice::IsVirtualPath(const std::string& path) {
    return path.rfind(kPathPrefix, 0) == 0;
}

std::vector<std::string> CVirtualCardDevice::ListCards(uint16_t vendorId, uint16_t productId) {
    std::vector<std::string> found;
    const char* folder = std::getenv(kFolderVariable);
    if (!folder || !*folder) {
        return found;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code typeError;
        if (!entry.is_socket(typeError)) {
            continue;
        }
        uint16_t vid = 0;
        uint16_t pid = 0;
        std::string name = entry.path().filename().string();
        if (!name.empty() && name[0] != '.' && ParseVidPid(name, &vid, &pid) && vid == vendorId && pid == productId) {
            found.push_back(kPathPrefix + entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool CVirtualCardDevice::Describe(Description* out) {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    std::string socketPath = GetDevicePath().substr(std::strlen(kPathPrefix));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "socket path too long: %s", socketPath.c_str());
        return false;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "connect %s failed. errno=%d",
                   socketPath.c_str(), errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    uint8_t descriptor[kMaxDescriptor];
    ssize_t n = -1;
    if (::poll(&p, 1, kDescriptorWaitMs) == 1) {
        n = ::recv(fd, descriptor, sizeof descriptor, 0);
    }
    ReportLengths lengths;
    if (n <= 0 || !ParseReportDescriptor(descriptor, static_cast<size_t>(n), &lengths)) {
        ::close(fd);
        VLOG_ERROR("device", "CHidBase::OpenDevice", "HidD_GetPreparsedData failed.");
        return false;
    }
    m_socket = fd;
    out->inputLength = lengths.input;
    out->outputLength = lengths.output;
    // Reports on the socket always start with the report id.
    out->numbered = true;
    return true;
}

int CVirtualCardDevice::OpenHandle(bool /*forWrite*/) {
    if (m_socket < 0) {
        errno = ENOTCONN;
        return -1;
    }
    int fd = ::fcntl(m_socket, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return fd;
}

int CVirtualCardDevice::OpenLockHandle() {
    const std::filesystem::path socket = GetDevicePath().substr(std::strlen(kPathPrefix));
    const std::filesystem::path lock =
        socket.parent_path() / ("." + socket.filename().string() + ".lock");
    // Readable by all, so that another user (sudo) can wait on the same lock.
    return ::open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
}
