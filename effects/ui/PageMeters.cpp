#include "effects/ui/PageMeters.h"

#include <algorithm>

#include "toolkit/Controls.h"
#include "widgets/QvProgressEX.h"
#include "widgets/QvProgressRow.h"

namespace effects::ui {

namespace {
// The meters show the card's levels, 0..30: a fall of 2 a tick empties a full meter in 0.6 s.
constexpr int kFallPerTick = 2;
// More steps than a full meter needs.
constexpr qint64 kMaxSteps = 32;
}  // namespace

CPageMeters::CPageMeters() : m_levels(kFallPerTick) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { OnTimer(); });
    m_clock.start();
}

void CPageMeters::Attach(QWidget* window) {
    delete m_row;
    std::array<QvProgressEX*, kCount> found{};
    bool together = true;
    for (int i = 0; i < kCount; ++i) {
        auto* meter = toolkit::FindById<QvProgressEX>(window, kFirstId + i);
        m_meters[static_cast<size_t>(i)] = meter;
        if (meter) {
            // The fall is ours; the widget's own per-paint limit would stop it half-way once
            // the repaints end.
            meter->setDeclineSpeed(100);
            // The page's meter skins cover the whole control: nothing beneath needs painting.
            meter->setAttribute(Qt::WA_OpaquePaintEvent);
        }
        found[static_cast<size_t>(i)] = meter;
        together = together && meter && meter->parentWidget() == found[0]->parentWidget();
    }
    if (together) {
        m_row = new QvProgressRow(found);
    }
    DropAll();
}

int CPageMeters::OnReport(std::span<const uint8_t> frame) {
    const LevelReport levels = ParseLevelReport(frame);
    // The fall up to now first: a level that rises above it shows from there.
    CatchUp();
    int set = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
        if (m_meters[i]) {
            // A level past the meter's top shows full and falls from there, not from beyond.
            m_levels.SetLevel(static_cast<int>(i), std::min(levels[i], m_meters[i]->maximum()));
            ++set;
        }
    }
    const qint64 sinceFrame = m_clock.elapsed() - m_lastFrame;
    if (sinceFrame < kFrameMs) {
        // Reports faster than frames: the next frame shows the latest.
        m_framePending = true;
        m_timer.start(static_cast<int>(kFrameMs - sinceFrame));
        return set;
    }
    Show();
    // While reports come, each shows the fall so far; a pause hands the fall to the timer.
    Arm(kPauseMs);
    return set;
}

void CPageMeters::DropAll() {
    m_levels.DropAll();
    m_framePending = false;
    m_timer.stop();
    Show();
}

void CPageMeters::Tick() {
    m_levels.Tick();
    m_lastStep = m_clock.elapsed();
    Show();
    Arm(kTickMs);
}

void CPageMeters::OnTimer() {
    CatchUp();
    const bool frame = m_framePending;
    Show();
    Arm(frame ? kPauseMs : kTickMs);
}

void CPageMeters::CatchUp() {
    const qint64 now = m_clock.elapsed();
    if (m_levels.AtRest()) {
        m_lastStep = now;
        return;
    }
    const qint64 steps = std::min((now - m_lastStep) / kTickMs, kMaxSteps);
    for (qint64 i = 0; i < steps; ++i) {
        m_levels.Tick();
    }
    m_lastStep = steps == kMaxSteps ? now : m_lastStep + steps * kTickMs;
}

void CPageMeters::Arm(int ms) {
    if (m_levels.AtRest()) {
        m_timer.stop();
    } else {
        m_timer.start(ms);
    }
}

void CPageMeters::Show() {
    m_framePending = false;
    m_lastFrame = m_clock.elapsed();
    if (m_row) {
        std::array<int, kCount> shown{};
        for (int i = 0; i < kCount; ++i) {
            shown[static_cast<size_t>(i)] = m_levels.Shown(i);
        }
        m_row->ShowValues(shown);
        return;
    }
    for (size_t i = 0; i < m_meters.size(); ++i) {
        if (m_meters[i]) {
            m_meters[i]->setValue(m_levels.Shown(static_cast<int>(i)));
        }
    }
}

}  // namespace effects::ui
