// A request on the panel's control socket, as the panel decodes its JSON body.
#include <cstdlib>
#include <string>

#include "FuzzTarget.h"
#include "PanelRequests.h"

VELORA_FUZZ_TARGET(panel_request) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    ctl::Request request;
    std::string reason;
    if (!ctl::DecodeRequest(body, &request, &reason)) {
        return;
    }
    // What was accepted must survive lyntctl's own encoding unchanged.
    const std::string framed = ctl::EncodeRequest(request);
    const size_t bodyAt = framed.find('\n');
    ctl::Request again;
    if (bodyAt == std::string::npos ||
        !ctl::DecodeRequest(framed.substr(bodyAt + 1), &again, &reason) ||
        again.words != request.words || again.json != request.json ||
        again.progress != request.progress) {
        std::abort();
    }
}
