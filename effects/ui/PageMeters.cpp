#include "effects/ui/PageMeters.h"

#include <algorithm>

#include "toolkit/Controls.h"
#include "widgets/QvProgressEX.h"

namespace effects::ui {

namespace {
// The meters show the card's levels, 0..30: a fall of 2 a tick empties a full meter in 0.6 s.
constexpr int kFallPerTick = 2;
}  // namespace

CPageMeters::CPageMeters() : m_levels(kFallPerTick) {
    m_timer.setInterval(kTickMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
}

void CPageMeters::Attach(QWidget* window) {
    for (int i = 0; i < kCount; ++i) {
        auto* meter = toolkit::FindById<QvProgressEX>(window, kFirstId + i);
        m_meters[static_cast<size_t>(i)] = meter;
        if (meter) {
            // The fall is ours; the widget's own per-paint limit would stop it half-way once
            // the repaints end.
            meter->setDeclineSpeed(100);
        }
    }
    DropAll();
}

int CPageMeters::OnReport(std::span<const uint8_t> frame) {
    const std::vector<int> levels = ParseLevelReport(frame);
    int set = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
        if (m_meters[i]) {
            // A level past the meter's top shows full and falls from there, not from beyond.
            m_levels.SetLevel(static_cast<int>(i), std::min(levels[i], m_meters[i]->maximum()));
            ++set;
        }
    }
    // While the meters fall, the next tick shows the new levels too: one repaint per tick
    // however the reports and ticks interleave.
    if (!m_timer.isActive()) {
        Show();
        if (!m_levels.AtRest()) {
            m_timer.start();
        }
    }
    return set;
}

void CPageMeters::DropAll() {
    m_levels.DropAll();
    m_timer.stop();
    Show();
}

void CPageMeters::Tick() {
    if (!m_levels.Tick()) {
        m_timer.stop();
    }
    Show();
}

void CPageMeters::Show() {
    for (size_t i = 0; i < m_meters.size(); ++i) {
        if (m_meters[i]) {
            m_meters[i]->setValue(m_levels.Shown(static_cast<int>(i)));
        }
    }
}

}  // namespace effects::ui
