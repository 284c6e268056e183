#include "PanelClient.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ExitStatus.h"
#include "Output.h"
#include "PanelRequest.h"
#include "PanelRequests.h"

namespace ctl {

namespace {

// Longer than any one command's exchanges with the card (three tries of 1.5 s each, a flush).
constexpr int kAnswerTimeoutMs = 20000;
// Between two progress reports of a download: a frame waits at most three tries of 1.5 s.
constexpr int kDownloadTimeoutMs = 60000;

class CSocket {
public:
    explicit CSocket(int fd) : m_fd(fd) {}
    ~CSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// Tests of the programs as processes shorten the wait for a silent panel this way.
int AnswerTimeoutMs(int standard) {
    const char* limit = std::getenv("LYNTCTL_PANEL_TIMEOUT_MS");
    const int ms = limit ? std::atoi(limit) : 0;
    return ms > 0 ? ms : standard;
}

bool SendAll(int fd, const std::string& data) {
    for (size_t at = 0; at < data.size();) {
        ssize_t n = ::send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// The index of the word that names a local file (send-effect FILE, send-clip FILE --slot N), or
// 0 when the command names none.
size_t FileWord(const std::vector<std::string>& words) {
    if (words.front() == "send-effect")
        return words.size() == 2 ? 1 : 0;
    if (words.front() != "send-clip")
        return 0;
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "--slot" || words[i] == "--volume")
            ++i;  // its value
        else if (!words[i].starts_with("--"))
            return i;
    }
    return 0;
}

// The connection closed before the status line: the panel stopped (killed, crashed, or ending
// with the command unanswered). Whatever it had asked of the card may or may not have happened.
std::string PanelGoneMessage(const std::string& command) {
    if (command == "monitor")
        return "the control panel stopped; monitor ended";
    if (command == "cloud")
        return "the control panel stopped before the download was done";
    return "the control panel stopped before the card answered; the command may not have been "
           "done";
}

}  // namespace

int RunThroughPanel(const std::vector<std::string>& words, bool json, bool progress) {
    const COutput out(json);
    Request request{words, json, progress};
    // The panel runs in another folder: it gets files by their full names.
    if (const size_t at = FileWord(words); at != 0) {
        std::error_code ec;
        std::filesystem::path file = std::filesystem::absolute(words[at], ec);
        if (!ec)
            request.words[at] = file.string();
    }
    CSocket socket(platform::instance::ConnectToPanel());
    if (socket.Fd() < 0 || !SendAll(socket.Fd(), EncodeRequest(request))) {
        out.Error("the control panel is running but does not take commands");
        return out.EndWith(kExitNoAnswer);
    }
    // monitor reports for as long as it runs; a download reports its progress as it goes, so
    // the wait is for the next sign of life, not for the whole transfer.
    const bool download = words.front() == "send-effect" || words.front() == "send-clip" ||
                          words.front() == "cloud-effect-file";
    const int timeoutMs = words.front() == "monitor" ? -1
                          : download                 ? AnswerTimeoutMs(kDownloadTimeoutMs)
                                                     : AnswerTimeoutMs(kAnswerTimeoutMs);
    // monitor ends on Ctrl-C or SIGTERM with 0, as it does without the panel; the panel ends its
    // side when the connection goes.
    int signals = -1;
    if (words.front() == "monitor") {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &set, nullptr);
        signals = ::signalfd(-1, &set, SFD_CLOEXEC);
    }
    CSocket signalSocket(signals);
    std::string pending;
    char buffer[4096];
    for (;;) {
        pollfd p[2] = {{socket.Fd(), POLLIN, 0}, {signals, POLLIN, 0}};
        int ready = ::poll(p, signals >= 0 ? 2 : 1, timeoutMs);
        if (ready > 0 && signals >= 0 && (p[1].revents & POLLIN)) {
            return out.EndWith(kExitOk);
        }
        ssize_t n = ready > 0 ? ::recv(socket.Fd(), buffer, sizeof buffer, 0) : 0;
        if (n <= 0) {
            out.Error(ready == 0 ? "the control panel did not answer in time"
                                 : PanelGoneMessage(words.front()));
            return out.EndWith(kExitNoAnswer);
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            AnswerLine line;
            if (!DecodeAnswerLine(pending.substr(0, end), &line)) {
                out.Error("the control panel answered something lyntctl does not understand");
                return out.EndWith(kExitNoAnswer);
            }
            pending.erase(0, end + 1);
            if (line.final) {
                if (line.cardGone && line.status == kExitNoAnswer)
                    return out.EndWith(ReportUnplugged(out));
                return out.EndWith(line.status);
            }
            if (line.progress) {
                if (progress)
                    out.PrintError(line.text);
            } else if (line.error) {
                // The panel's errors as lyntctl's own, JSON objects under --json included.
                std::string text = line.text;
                if (!text.empty() && text.back() == '\n')
                    text.pop_back();
                out.Error(text);
            } else {
                out.Print(line.text);
            }
        }
    }
}

}  // namespace ctl
