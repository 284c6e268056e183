#include "PanelCardInfo.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "CtlSession.h"
#include "PanelRequest.h"
#include "PanelRequests.h"

namespace ctl {

namespace {

// The panel asks the card, three tries of 300 ms; tests shorten the wait for a silent panel.
int AnswerTimeoutMs() {
    const char* limit = std::getenv("LYNTCTL_PANEL_TIMEOUT_MS");
    const int ms = limit ? std::atoi(limit) : 0;
    return ms > 0 ? ms : 20000;
}

struct CloseFd {
    void operator()(const int* fd) const {
        if (*fd >= 0)
            ::close(*fd);
        delete fd;
    }
};

}  // namespace

int AskPanelForVersions(const COutput& out, CardVersions* versions) {
    const std::unique_ptr<int, CloseFd> fd(new int(platform::instance::ConnectToPanel()));
    const std::string request = EncodeRequest({{"info"}, true, false});
    if (*fd < 0 || ::send(*fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                       static_cast<ssize_t>(request.size())) {
        out.Error("the control panel is running but does not take commands");
        return kExitNoAnswer;
    }
    bool found = false;
    std::string pending;
    char buffer[4096];
    for (;;) {
        pollfd p{*fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, AnswerTimeoutMs());
        const ssize_t n = ready > 0 ? ::recv(*fd, buffer, sizeof buffer, 0) : 0;
        if (n <= 0) {
            out.Error(ready == 0 ? "the control panel did not answer in time"
                                 : "the control panel ended the command without an answer");
            return kExitNoAnswer;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            AnswerLine line;
            if (!DecodeAnswerLine(pending.substr(0, end), &line)) {
                out.Error("the control panel answered something lyntctl does not understand");
                return kExitNoAnswer;
            }
            pending.erase(0, end + 1);
            if (line.final) {
                if (line.status == kExitOk && !found) {
                    out.Error("the control panel did not tell the card's versions");
                    return kExitNoAnswer;
                }
                return line.status;
            }
            if (line.error) {
                // The panel's reason (no card, a busy card), said as lyntctl's own.
                if (!line.text.empty() && line.text.back() == '\n')
                    line.text.pop_back();
                out.Error(line.text);
            } else if (!line.progress && ReadCardVersions(line.text, versions)) {
                found = true;
            }
        }
    }
}

}  // namespace ctl
