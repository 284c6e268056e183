// The control socket as the panel reads it: a header line "CTL <n>" (read as at most 255 bytes),
// then n bytes of request. A refusal must reach lyntctl as its final status line.
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "PanelRequest.h"
#include "PanelRequests.h"

VELORA_FUZZ_TARGET(panel_frame) {
    namespace pi = platform::instance;
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    const size_t end = stream.find('\n');
    if (end == std::string_view::npos || end > 255) {
        return;
    }
    const std::string_view line = stream.substr(0, end);
    if (line.substr(0, std::char_traits<char>::length(pi::kRequestPrefix)) != pi::kRequestPrefix) {
        return;
    }
    std::string reason;
    const size_t n =
        pi::RequestLength(line.substr(std::char_traits<char>::length(pi::kRequestPrefix)), &reason);
    if (n == 0) {
        // The refusal as lyntctl reads it: its text, then the final status 1.
        const std::string answer = pi::RefusalAnswer(reason, 1);
        const size_t split = answer.find('\n');
        ctl::AnswerLine text;
        ctl::AnswerLine status;
        if (reason.empty() || !ctl::DecodeAnswerLine(answer.substr(0, split), &text) ||
            !text.error || !ctl::DecodeAnswerLine(answer.substr(split + 1, answer.size() - split - 2),
                                                  &status) ||
            !status.final || status.status != 1) {
            std::abort();
        }
        return;
    }
    if (n > pi::kMaxRequestBytes) {
        std::abort();
    }
    const std::string_view body = stream.substr(end + 1);
    if (body.size() < n) {
        return;  // the panel waits for the rest, then refuses
    }
    ctl::Request request;
    (void)ctl::DecodeRequest(std::string(body.substr(0, n)), &request, &reason);
}
