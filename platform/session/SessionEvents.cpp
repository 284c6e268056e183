#include "SessionEvents.h"

#include <QSocketNotifier>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusInterface>
#include <QtDBus/QDBusReply>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

// SIGTERM is turned into a byte on this pipe and read on the UI thread.
int g_signalPipe[2] = {-1, -1};

void OnTerm(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

CSessionEvents::CSessionEvents(SessionHandlers handlers) : m_handlers(std::move(handlers)) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        m_logind = bus.connect(kService, kPath, kManager, "PrepareForSleep", this,
                               SLOT(OnPrepareForSleep(bool))) &&
                   bus.connect(kService, kPath, kManager, "PrepareForShutdown", this,
                               SLOT(OnPrepareForShutdown(bool)));
        if (m_logind) {
            TakeInhibitor();
        }
    }
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = OnTerm;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
    }
    if (g_signalPipe[0] >= 0) {
        m_signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        connect(m_signalNotifier.get(), &QSocketNotifier::activated, this, [this] { OnSignal(); });
    }
}

CSessionEvents::~CSessionEvents() = default;

void CSessionEvents::TakeInhibitor() {
    QDBusInterface manager(kService, kPath, kManager, QDBusConnection::systemBus());
    QDBusReply<QDBusUnixFileDescriptor> reply =
        manager.call("Inhibit", "sleep:shutdown", "Velora",
                     "Tells the sound card that the control panel goes away", "delay");
    if (reply.isValid()) {
        m_inhibitor = reply.value();
    }
}

void CSessionEvents::OnPrepareForSleep(bool start) {
    if (start) {
        if (m_handlers.suspend) m_handlers.suspend();
        m_inhibitor = QDBusUnixFileDescriptor();  // the card knows; the machine may sleep
    } else {
        TakeInhibitor();
        if (m_handlers.resume) m_handlers.resume();
    }
}

void CSessionEvents::OnPrepareForShutdown(bool start) {
    if (start && !m_ending) {
        m_ending = true;
        if (m_handlers.sessionEnding) m_handlers.sessionEnding();
        m_inhibitor = QDBusUnixFileDescriptor();
    }
}

void CSessionEvents::OnSignal() {
    char buffer[16];
    while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (!m_ending) {
        m_ending = true;
        if (m_handlers.sessionEnding) m_handlers.sessionEnding();
    }
}
