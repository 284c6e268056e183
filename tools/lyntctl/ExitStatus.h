#pragma once

#include "Output.h"

// lyntctl's exit statuses, shared by its full program and its quick start for the panel's pads.
namespace ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoCard = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitPanelRunning = 4;  // refused: busy, in use by another program
inline constexpr int kExitBusy = 4;

// Says that the card went away during the command; returns kExitNoCard. The same words whether
// lyntctl had the card itself or the panel had it.
inline int ReportUnplugged(const COutput& out) {
    out.Error("the card was unplugged");
    return kExitNoCard;
}

}  // namespace ctl
