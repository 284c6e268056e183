#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <span>

#include "LevelMeters.h"

class QvProgressEX;
class QvProgressRow;

namespace effects::ui {

// The page's level meters (ids 2000..2006; the eighth entry stays empty): levels from the card's
// reports, falling smoothly in between. The card reports many times a second while the panel
// idles, so the meters cost as little as they can: a report is shown at once unless a frame was
// painted less than kFrameMs ago (then with the next frame, however many reports came), the fall
// is reckoned from the time passed and shown with the reports while they come, its own timer
// runs only once they pause, and it stops at rest; the meters are painted together in one pass,
// at once, each only in the strip that changed.
class CPageMeters {
public:
    static constexpr int kFirstId = 2000;
    static constexpr int kCount = 7;
    // One step of the fall.
    static constexpr int kTickMs = 40;
    // Reports closer together than this share a frame.
    static constexpr int kFrameMs = 16;
    // Reports this far apart no longer show the fall often enough: the fall's timer takes over.
    static constexpr int kPauseMs = 2 * kTickMs;

    CPageMeters();

    // Finds the meters among the window's controls.
    void Attach(QWidget* window);
    // A level report; returns how many meters it set.
    int OnReport(std::span<const uint8_t> frame);
    void DropAll();
    // The meters are not at rest: a frame or a step of the fall is due.
    bool IsFalling() const { return m_timer.isActive(); }
    // One step of the fall, shown at once.
    void Tick();

private:
    void OnTimer();
    // Steps of the fall due since the last one.
    void CatchUp();
    void Show();
    // The timer for what is due next: nothing at rest, else a step of the fall after `ms`.
    void Arm(int ms);

    std::array<QPointer<QvProgressEX>, CLevelMeters::kMeters> m_meters;
    // Paints the meters when they share a parent; otherwise each meter repaints itself.
    QPointer<QvProgressRow> m_row;
    CLevelMeters m_levels;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastStep = 0;   // when the fall was last brought up to date
    qint64 m_lastFrame = -kFrameMs;
    bool m_framePending = false;
};

}  // namespace effects::ui
