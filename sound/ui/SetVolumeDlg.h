#pragma once

#include <QPoint>
#include <QPointer>
#include <optional>

#include "toolkit/HostWindow.h"

class QvSlider;

namespace sound::ui {

// The sound pads' volume popup: one vertical slider 0..100. Every change, by the slider or the
// wheel, raises EventVolumeChange; a press outside the popup, Alt+Tab or the popup losing the
// activation closes it.
class CSetVolumeDlg : public toolkit::CHostWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 52;
    static constexpr int kHeight = 201;

    // Shows the popup with its bottom edge at the anchor's height, centred on it; without an
    // anchor centred over owner (or the screen). Null when the window could not be made.
    static CSetVolumeDlg* Show(std::optional<QPoint> anchor, int volume, QWidget* owner);
    // The popup shown now, if any.
    static CSetVolumeDlg* Current();

    explicit CSetVolumeDlg(int volume);
    ~CSetVolumeDlg() override;

    int Volume() const { return m_volume; }
    // One wheel notch: +1 up, -1 down; nothing at a limit.
    void Step(int direction);
    void ClosePopup();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void SetVolume(int volume);

    QvSlider* m_slider = nullptr;
    int m_volume = 0;
    bool m_closing = false;
};

}  // namespace sound::ui
