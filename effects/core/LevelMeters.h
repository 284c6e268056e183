#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace effects {

// The levels of one report, held in place: reports come many times a second.
struct LevelReport {
    static constexpr size_t kMaxLevels = 8;
    std::array<int, kMaxLevels> levels{};
    size_t count = 0;

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    int operator[](size_t i) const { return levels[i]; }
};

// The levels of a card's level report: byte 4 holds the count, the levels follow from byte 5 as
// 16-bit little-endian values. At most 8 are read, and never past the frame's end.
LevelReport ParseLevelReport(std::span<const uint8_t> frame);

// The level meters' shown values: a new level higher than the shown one shows at once, a lower
// one is reached by falling at most fallPerTick per Tick, so the meters fall smoothly between
// the card's reports. At rest nothing needs ticking, so the owner's timer can stop.
class CLevelMeters {
public:
    static constexpr int kMeters = static_cast<int>(LevelReport::kMaxLevels);

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
