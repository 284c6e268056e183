#pragma once

namespace sound {

// What became of a favourite pad played on request (lyntctl pad), for its answer.
enum class PadOutcome {
    Playing,      // the player runs
    Stopped,      // asked to stop, and stopped
    NoSuchPad,    // no favourite at that position (the list changed meanwhile)
    ClipMissing,  // its clip file is gone
    Fetching,     // a cloud clip not yet downloaded: it plays once it is in
    Failed,       // the clip did not open or the player did not start
    NoPlayer,     // the panel's window, where the player lives, is closed
};

}  // namespace sound
