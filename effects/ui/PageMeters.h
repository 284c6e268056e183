#pragma once

#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <span>

#include "LevelMeters.h"

class QvProgressEX;

namespace effects::ui {

// The page's level meters (ids 2000..2006; the eighth entry stays empty): levels from the card's
// reports, falling smoothly in between. The fall runs on a timer that stops once every meter is
// at rest, so meters fed nothing cost nothing.
class CPageMeters {
public:
    static constexpr int kFirstId = 2000;
    static constexpr int kCount = 7;
    static constexpr int kTickMs = 40;

    CPageMeters();

    // Finds the meters among the window's controls.
    void Attach(QWidget* window);
    // A level report; returns how many meters it set.
    int OnReport(std::span<const uint8_t> frame);
    void DropAll();
    bool IsFalling() const { return m_timer.isActive(); }
    // One step of the fall, as the timer takes it.
    void Tick();

private:
    void Show();

    std::array<QPointer<QvProgressEX>, CLevelMeters::kMeters> m_meters;
    CLevelMeters m_levels;
    QTimer m_timer;
};

}  // namespace effects::ui
