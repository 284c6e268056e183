// lyntctl reading the panel's answer lines, split at line breaks as the client does.
#include <string>

#include "FuzzTarget.h"
#include "PanelRequests.h"

VELORA_FUZZ_TARGET(panel_answer) {
    std::string pending(reinterpret_cast<const char*>(data), size);
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        ctl::AnswerLine line;
        if (!ctl::DecodeAnswerLine(pending.substr(0, end), &line) || line.final) {
            return;
        }
        pending.erase(0, end + 1);
    }
}
