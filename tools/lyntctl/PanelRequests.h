#pragma once

#include <string>
#include <vector>

// lyntctl's requests to the running panel and the panel's answers, as JSON (see PanelRequest.h in
// platform/instance for the framing).
namespace ctl {

inline constexpr size_t kMaxRequestWords = 64;

struct Request {
    std::vector<std::string> words;  // the command's name, then its arguments
    bool json = false;
    bool progress = false;  // show a download's progress (lyntctl's standard error is a terminal)
};

// The framed request, ready to send.
std::string EncodeRequest(const Request& request);
// The request's JSON; false with the reason when it is not one.
bool DecodeRequest(const std::string& body, Request* request, std::string* reason);

struct AnswerLine {
    bool final = false;  // the status line; the answer is complete
    int status = 0;
    // With status 3: the card went away during the command; lyntctl says so as its direct mode
    // does. An older lyntctl reads the status alone.
    bool cardGone = false;
    bool error = false;     // text belongs on standard error
    bool progress = false;  // a sign of life: text shows on a terminal only
    std::string text;
};
std::string EncodeText(bool error, const std::string& text);
std::string EncodeStatus(int status, bool cardGone = false);
// A progress line of a long command (send-clip): the client shows it where it shows progress and
// counts it as a sign of life either way, so a slow card does not look like a silent panel.
std::string EncodeProgress(const std::string& text);
bool DecodeAnswerLine(const std::string& line, AnswerLine* answer);

struct CardVersions {
    std::string hardware;  // "1.0"
    std::string firmware;  // "2.3"
};
// The versions of an answer's "info" line (`info --json` through the panel); false for any
// other line.
bool ReadCardVersions(const std::string& text, CardVersions* versions);

}  // namespace ctl
