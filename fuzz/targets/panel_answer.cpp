// lyntctl reading the panel's answer lines, split at line breaks as the client does, and the
// card's versions from an answer's text as a firmware check beside the panel reads them.
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
        ctl::CardVersions versions;
        ctl::ReadCardVersions(line.text, &versions);
        pending.erase(0, end + 1);
    }
}
