#pragma once

#include <cstddef>
#include <functional>
#include <string>

// lyntctl's requests to the running panel, on the panel's socket beside the window messages:
//   request  "CTL <n>\n" and n bytes of JSON, n at most kMaxRequestBytes;
//   answer   JSON lines {"out": text} or {"err": text}, then {"status": exit status}; a request
//            that keeps reporting (monitor) answers until its client goes.
namespace platform::instance {

inline constexpr char kRequestPrefix[] = "CTL ";
inline constexpr size_t kMaxRequestBytes = 16 * 1024;

// The whole answer to a request that could not be read. reason: plain text without quotes.
std::string RefusalAnswer(const std::string& reason, int status);

// Where the panel writes a request's answer. Lives as long as the client's connection.
class IPanelReply {
public:
    virtual ~IPanelReply() = default;
    // One answer line, without its line break.
    virtual void Send(const std::string& line) = 0;
    // The answer is complete: the connection closes once it is written.
    virtual void Finish() = 0;
    // handler runs once, when the connection has gone, whichever side ended it.
    virtual void OnClosed(std::function<void()> handler) = 0;
};

// A connected socket to the running panel, or -1.
int ConnectToPanel();

}  // namespace platform::instance
