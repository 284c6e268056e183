#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace effects {

// The levels of a card's level report: byte 4 holds the count, the levels follow from byte 5 as
// 16-bit little-endian values. At most 8 are read, and never past the frame's end.
std::vector<int> ParseLevelReport(std::span<const uint8_t> frame);

// The level meters' shown values: a new level higher than the shown one shows at once, a lower
// one is reached by falling at most fallPerTick per Tick, so the meters fall smoothly between
// the card's reports. At rest nothing needs ticking, so the owner's timer can stop.
class CLevelMeters {
public:
    static constexpr int kMeters = 8;

    explicit CLevelMeters(int fallPerTick);

    void SetLevel(int meter, int level);
    // Every meter to 0 at once (no card, a minimised window).
    void DropAll();
    // One step of the fall; true while some meter still falls.
    bool Tick();
    bool AtRest() const;
    int Shown(int meter) const;

private:
    int m_fall;
    std::array<int, kMeters> m_target{};
    std::array<int, kMeters> m_shown{};
};

}  // namespace effects
