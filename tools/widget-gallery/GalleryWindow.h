#pragma once

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <memory>

#include "toolkit/HostWindow.h"
#include "toolkit/Menu.h"
#include "widgets/QvProgress.h"

class QLabel;
class QvCheckButton;
class QvProgressEX1;
class QvSlider;
class SEdit2;
class SMoveThumb;

// Levels for the gallery's VU group while the animation demo runs.
class CDemoLevels : public ILevelSource {
public:
    bool IsActive() const override { return active; }
    int Fill(int* values, int count) override;
    bool active = false;

private:
    int m_phase = 0;
};

// One window with every control and dialog of the toolkit in their
// states. Control events from all of them are routed to the status line, so the gallery also
// shows what a page would receive.
class CGalleryWindow : public toolkit::CHostWindow {
    Q_OBJECT
public:
    explicit CGalleryWindow(QWidget* parent = nullptr);
    ~CGalleryWindow() override;

    void SetAnimating(bool on);
    // A picture of one window at its place on the screen.
    struct Shot {
        QPoint pos;
        QPixmap picture;
    };
    // Shows the dialogs, the value tip and the tray menu beside the window for a screenshot.
    void ShowEverything();
    // Pictures of the window and of everything ShowEverything showed, plus two tips: the input
    // dialog refusing a name, and a warning over the gallery (one tip window exists at a time,
    // so they are taken one after the other).
    QList<Shot> TakeShots();

private:
    QWidget* BuildKnobs();
    QWidget* BuildSliders();
    QWidget* BuildMeters();
    QWidget* BuildButtons();
    QWidget* BuildTexts();
    QWidget* BuildDialogs();
    void RouteEvents();
    void ShowEvent(const toolkit::ControlEvent& ev);

    QLabel* m_status = nullptr;
    QvCheckButton* m_animate = nullptr;
    QList<QvProgressEX1*> m_meters;
    QList<QPair<SEdit2*, QvSlider*>> m_faders;
    QvSlider* m_tipSlider = nullptr;
    CDemoLevels m_levels;
    QList<QPointer<QWidget>> m_shown;
    QPointer<QWidget> m_input;
    std::unique_ptr<toolkit::CMenu> m_menu;
};
