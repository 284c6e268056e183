// Parameter and level reports as the workspace takes them from the receive thread, and the level
// report as the effects page reads it into its meters.
#include <cstring>

#include "CardCommands.h"
#include "FuzzTarget.h"
#include "LevelMeters.h"
#include "QVAudioEvents.h"
#include "WorkSpace.h"

VELORA_FUZZ_TARGET(card_report) {
    static CWorkSpace workspace(velora_fuzz::TempFolder() / "none.db", velora_fuzz::TempFolder());
    // Several frames per input, so sequences of reports are explored too.
    for (size_t at = 0; at < size || at == 0; at += card::kFrameLength) {
        card::Frame frame{};
        const size_t n = size - at < frame.size() ? size - at : frame.size();
        if (n > 0) {
            std::memcpy(frame.data(), data + at, n);
        }
        workspace.OnRecvDataEvent(EventRecvData(frame));
        static effects::CLevelMeters meters(257);
        const effects::LevelReport levels = effects::ParseLevelReport(std::span(frame).first(n));
        for (size_t i = 0; i < levels.size(); ++i) {
            meters.SetLevel(static_cast<int>(i), levels[i]);
        }
        while (meters.Tick()) {
        }
        if (size == 0) {
            break;
        }
    }
}
