#include "HidBase.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "../ReportDescriptor.h"
#include "Log/Log.h"

#define LOG_SOURCE "CppCommonLib\\common\\Device\\HidDevice\\HidBase"

namespace {

// Waiting for room in the device's queue beyond this means the device is stuck.
constexpr int kWriteTimeoutMs = 1000;
constexpr int kOpenRetries = 10;
constexpr int kOpenRetryPauseMs = 100;

}  // namespace

int OpenRetryingAccess(const std::string& path, int flags,
                       const std::function<void(int attempt)>& pause) {
    for (int attempt = 0;; ++attempt) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || errno != EACCES || attempt >= kOpenRetries) {
            return fd;
        }
        if (pause) {
            pause(attempt);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryPauseMs));
        }
    }
}

CHidBase::CHidBase(const std::string& devicePath)
    : m_path(devicePath.substr(0, std::min<size_t>(devicePath.size(), kMaxPathLength))) {}

CHidBase::~CHidBase() { CloseDevice(); }

bool CHidBase::IsOpen() { return m_open && m_channel.HasReader() && m_channel.HasWriter(); }

bool CHidBase::OpenDevice() {
    if (m_channel.HasReader() || m_channel.HasWriter()) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "One device is already opened.");
        return false;
    }
    m_lastOpenError = 0;
    // Before anything reaches the card: a second program would break the first one's session.
    if (int error = m_lock.TryLock(OpenLockHandle()); error != 0) {
        m_lastOpenError = error;
        VLOG_ERROR("device", "CHidBase::OpenDevice", "%s is in use by %s (errno=%d)",
                   m_path.c_str(), m_lock.Holder().empty() ? "?" : m_lock.Holder().c_str(), error);
        return false;
    }
    if (!OpenLocked()) {
        m_lock.Release();
        return false;
    }
    return true;
}

bool CHidBase::OpenLocked() {
    Description d;
    if (!Describe(&d)) {
        return false;
    }
    if (d.inputLength < 1 || d.inputLength > kMaxReportLength || d.outputLength < 1 ||
        d.outputLength > kMaxReportLength) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "invalide device report byte length.");
        return false;
    }
    if (!m_channel.HasWakeHandle()) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "CreateEvent failed.");
        return false;
    }
    int writeFd = OpenHandle(true);
    if (writeFd < 0) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "CreateFile for write error.");
        return false;
    }
    int readFd = OpenHandle(false);
    if (readFd < 0) {
        int err = errno;
        ::close(writeFd);
        VLOG_ERROR("device", "CHidBase::OpenDevice", "CreateFile for read error. errno=%d", err);
        return false;
    }
    m_channel.Attach(readFd, writeFd, d.numbered);
    m_inputLength = d.inputLength;
    m_outputLength = d.outputLength;
    m_open = true;
    return true;
}

bool CHidBase::Describe(Description* out) {
    int fd = OpenRetryingAccess(m_path, O_RDWR);
    if (fd < 0) {
        m_lastOpenError = errno;
        if (m_lastOpenError == EACCES) {
            VLOG_ERROR("device", "CHidBase::OpenDevice",
                       "no permission to open %s; the udev rule for vendor 2b53 gives the "
                       "logged-in user access",
                       m_path.c_str());
        } else {
            VLOG_ERROR("device", "CHidBase::OpenDevice", "open %s failed. errno=%d",
                       m_path.c_str(), m_lastOpenError);
        }
        return false;
    }
    int size = 0;
    hidraw_report_descriptor desc{};
    bool ok = ::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
              size <= HID_MAX_DESCRIPTOR_SIZE;
    if (ok) {
        desc.size = static_cast<uint32_t>(size);
        ok = ::ioctl(fd, HIDIOCGRDESC, &desc) == 0;
    }
    ::close(fd);
    ReportLengths lengths;
    if (!ok || !ParseReportDescriptor(desc.value, desc.size, &lengths)) {
        VLOG_ERROR("device", "CHidBase::OpenDevice", "HidD_GetPreparsedData failed.");
        return false;
    }
    out->inputLength = lengths.input;
    out->outputLength = lengths.output;
    out->numbered = lengths.numbered;
    return true;
}

int CHidBase::OpenHandle(bool forWrite) {
    return OpenRetryingAccess(m_path, forWrite ? O_WRONLY : O_RDONLY);
}

int CHidBase::OpenLockHandle() {
    return OpenRetryingAccess(m_path, O_RDONLY);
}

void CHidBase::CloseDevice() {
    m_channel.Close();
    m_lock.Release();
    m_open = false;
    m_inputLength = 0;
    m_outputLength = 0;
}

bool CHidBase::Write(const uint8_t* data, int n) {
    if (!data || n <= 0 || n > m_outputLength - 1) {
        VLOG_ERROR("device", "CHidBase::Write", "invalide parameter.");
        return false;
    }
    if (!m_channel.HasWriter()) {
        VLOG_ERROR("device", "CHidBase::Write", "Please OpenDevice before Write.");
        return false;
    }
    // One buffer per call: the keep-alive, the receive thread's acknowledges and the awaited
    // sends write at the same time, and the channel only orders whole reports.
    std::array<uint8_t, kMaxReportLength> report{};
    std::memcpy(report.data() + 1, data, static_cast<size_t>(n));
    int err = m_channel.WriteReport(report.data(), m_outputLength, kWriteTimeoutMs);
    if (err != 0) {
        VLOG_ERROR("device", "CHidBase::Write", "error code %ld", static_cast<long>(err));
        return false;
    }
    return true;
}

bool CHidBase::Read(const uint8_t** out, uint32_t ms) {
    if (!m_channel.HasReader()) {
        VLOG_ERROR("device", "CHidBase::Read", "Please OpenDevice before Read.");
        return false;
    }
    int err = 0;
    auto result = m_channel.ReadReport(m_readBuffer.data(), m_inputLength, ms, &err);
    if (result == CReportChannel::ReadResult::kData ||
        result == CReportChannel::ReadResult::kCancelled) {
        if (out) {
            *out = m_readBuffer.data() + 1;
        }
        return true;
    }
    return false;
}

void CHidBase::CancelRead() { m_channel.Cancel(); }

bool ParseVidPid(const std::string& path, uint16_t* vendorId, uint16_t* productId) {
    std::string upper = path;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    size_t at = upper.find("#VID_");
    if (at == std::string::npos || at + 18 > upper.size()) {
        return false;
    }
    auto hex4 = [&](size_t from, uint16_t* value) {
        uint16_t v = 0;
        for (size_t i = from; i < from + 4; ++i) {
            char c = upper[i];
            int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (digit < 0) {
                return false;
            }
            v = static_cast<uint16_t>(v * 16 + digit);
        }
        *value = v;
        return true;
    };
    uint16_t vid = 0;
    uint16_t pid = 0;
    if (!hex4(at + 5, &vid) || !hex4(at + 14, &pid)) {
        return false;
    }
    *vendorId = vid;
    *productId = pid;
    return true;
}
