#include "LevelMeters.h"

#include <algorithm>

namespace effects {

namespace {
constexpr size_t kCountOffset = 4;
constexpr size_t kValuesOffset = 5;
}  // namespace

LevelReport ParseLevelReport(std::span<const uint8_t> frame) {
    LevelReport report;
    if (frame.size() <= kCountOffset) {
        return report;
    }
    const size_t room = frame.size() > kValuesOffset ? (frame.size() - kValuesOffset) / 2 : 0;
    report.count = std::min<size_t>({frame[kCountOffset], LevelReport::kMaxLevels, room});
    for (size_t i = 0; i < report.count; ++i) {
        const size_t at = kValuesOffset + 2 * i;
        report.levels[i] = frame[at] | (frame[at + 1] << 8);
    }
    return report;
}

CLevelMeters::CLevelMeters(int fallPerTick) : m_fall(std::max(1, fallPerTick)) {}

void CLevelMeters::SetLevel(int meter, int level) {
    if (meter < 0 || meter >= kMeters) {
        return;
    }
    const auto i = static_cast<size_t>(meter);
    m_target[i] = std::max(0, level);
    m_shown[i] = std::max(m_shown[i], m_target[i]);
}

void CLevelMeters::DropAll() {
    m_target.fill(0);
    m_shown.fill(0);
}

bool CLevelMeters::Tick() {
    for (size_t i = 0; i < m_shown.size(); ++i) {
        m_shown[i] = std::max(m_target[i], m_shown[i] - m_fall);
    }
    return !AtRest();
}

bool CLevelMeters::AtRest() const {
    return m_shown == m_target;
}

int CLevelMeters::Shown(int meter) const {
    return meter >= 0 && meter < kMeters ? m_shown[static_cast<size_t>(meter)] : 0;
}

}  // namespace effects
