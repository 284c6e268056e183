#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// lyntctl's requests to the running panel, on the panel's socket beside the window messages:
//   request  "CTL <n>\n" and n bytes of JSON, n at most kMaxRequestBytes;
//   answer   JSON lines {"out": text}, {"err": text} or {"progress": text} (a long command's sign
//            of life, shown on a terminal only), then {"status": exit status}, with
//            "card_gone": true beside a status 3 when the card went away during the command; a
//            request that keeps reporting (monitor) answers until its client goes.
//   refusals (status 1): a length that is no number of 1 to kMaxRequestBytes, a body that does
//            not arrive whole within 2 s, a body that is no request object. A request whose
//            handling failed in the panel gets status 3.
namespace platform::instance {

inline constexpr char kRequestPrefix[] = "CTL ";
inline constexpr size_t kMaxRequestBytes = 16 * 1024;

// The length a request header announces: line is what follows kRequestPrefix on its line, blanks
// around the number allowed. 1 to kMaxRequestBytes, else 0 with the refusal's reason.
size_t RequestLength(std::string_view line, std::string* reason);

// The whole answer to a request that could not be read. reason: plain text without quotes.
std::string RefusalAnswer(const std::string& reason, int status);

// Where the panel writes a request's answer. Lives as long as the client's connection.
class IPanelReply {
public:
    virtual ~IPanelReply() = default;
    // One answer line, without its line break. A client that has let a great deal go unread
    // counts as gone: its connection is closed.
    virtual void Send(const std::string& line) = 0;
    // A line the client may miss (meter levels): dropped while the client is behind.
    virtual void SendDroppable(const std::string& line) { Send(line); }
    // The answer is complete: the connection closes once it is written.
    virtual void Finish() = 0;
    // handler runs once, when the connection has gone, whichever side ended it.
    virtual void OnClosed(std::function<void()> handler) = 0;
};

// A connected socket to the running panel, or -1.
int ConnectToPanel();

}  // namespace platform::instance
