#include "BlockInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "Log/Log.h"

#define LOG_SOURCE "platform\\inhibit\\BlockInhibitor"

namespace platform::inhibit {

namespace {

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};

}  // namespace

CBlockInhibitor::~CBlockInhibitor() { Release(); }

bool CBlockInhibitor::Take(const std::string& who, const std::string& why) {
    if (m_fd >= 0) {
        return true;
    }
    sd_bus* raw = nullptr;
    int r = sd_bus_open_system(&raw);
    std::unique_ptr<sd_bus, BusDeleter> bus(raw);
    if (r < 0) {
        VLOG_WARN("session", "CBlockInhibitor::Take", "no system bus: %s", std::strerror(-r));
        return false;
    }
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose C compound literal C++ does not have
    sd_bus_message* answer = nullptr;
    r = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "Inhibit", &error, &answer, "ssss",
                           "shutdown:sleep:idle", who.c_str(), why.c_str(), "block");
    std::unique_ptr<sd_bus_message, MessageDeleter> reply(answer);
    if (r < 0) {
        VLOG_WARN("session", "CBlockInhibitor::Take", "logind refused the inhibitor: %s",
                  error.message ? error.message : std::strerror(-r));
        sd_bus_error_free(&error);
        return false;
    }
    int fd = -1;
    r = sd_bus_message_read(reply.get(), "h", &fd);
    // The descriptor belongs to the message: keep a copy of our own.
    const int own = r >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
    if (own < 0) {
        VLOG_WARN("session", "CBlockInhibitor::Take", "no inhibitor descriptor in the answer");
        return false;
    }
    m_fd = own;
    VLOG_INFO("session", "CBlockInhibitor::Take", "shutdown, sleep and idle held off: %s",
              why.c_str());
    return true;
}

void CBlockInhibitor::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        VLOG_INFO("session", "CBlockInhibitor::Release", "shutdown, sleep and idle free again");
    }
}

}  // namespace platform::inhibit
