// A stand-in for logind on a private bus: answers Inhibit with one end of a pipe, as logind
// does, and reports on standard output each lock taken ("inhibit WHAT WHO MODE WHY") and each
// one its holder let go ("released WHO", when the holder's end closes).
#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Held {
    int readEnd;
    std::string who;
};
std::vector<Held> g_held;

int Inhibit(sd_bus_message* m, void*, sd_bus_error*) {
    const char* what = nullptr;
    const char* who = nullptr;
    const char* why = nullptr;
    const char* mode = nullptr;
    int r = sd_bus_message_read(m, "ssss", &what, &who, &why, &mode);
    if (r < 0) return r;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return -errno;
    std::printf("inhibit %s %s %s %s\n", what, who, mode, why);
    std::fflush(stdout);
    g_held.push_back({ends[0], who});
    r = sd_bus_reply_method_return(m, "h", ends[1]);
    ::close(ends[1]);  // the reply holds its own copy
    return r;
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", Inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1",
                                 "org.freedesktop.login1.Manager", kManager, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) {
        std::fprintf(stderr, "fake logind: no bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        std::vector<pollfd> fds{{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                                {STDIN_FILENO, POLLIN, 0}};
        for (const Held& h : g_held) fds.push_back({h.readEnd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0) continue;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0) break;  // the test is gone
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents & (POLLHUP | POLLIN)) {
                std::printf("released %s\n", g_held[i - 2].who.c_str());
                std::fflush(stdout);
                ::close(g_held[i - 2].readEnd);
                g_held[i - 2].readEnd = -1;
            }
        }
        std::erase_if(g_held, [](const Held& h) { return h.readEnd < 0; });
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
