#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <vector>

#include "toolkit/HostWindow.h"
#include "toolkit/Theme.h"
#include "toolkit/Toolkit.h"
#include "widgets/Widgets.h"

namespace uitest {

// Resources, layouts, widgets and the theme, as the program sets them up.
inline void InitUi() {
    toolkit::Initialize();
    widgets::RegisterWidgets();
    toolkit::ApplyTheme(qApp);
}

// Mouse input sent straight to a widget: no cursor, no window system, deterministic.
inline void Press(QWidget* w, QPoint pt) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(pt), QPointF(w->mapToGlobal(pt)),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Move(QWidget* w, QPoint pt, Qt::MouseButtons held = Qt::LeftButton) {
    QMouseEvent e(QEvent::MouseMove, QPointF(pt), QPointF(w->mapToGlobal(pt)), Qt::NoButton, held,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Release(QWidget* w, QPoint pt) {
    QMouseEvent e(QEvent::MouseButtonRelease, QPointF(pt), QPointF(w->mapToGlobal(pt)),
                  Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Wheel(QWidget* w, int angleDeltaY) {
    const QPointF pt(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(pt, w->mapToGlobal(pt), QPoint(), QPoint(0, angleDeltaY), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// A window that records every control event raised inside it.
class CRecordingHost : public toolkit::CHostWindow {
public:
    explicit CRecordingHost(const QString& layout = QString()) : CHostWindow(layout) {}
    std::vector<toolkit::ControlEvent> events;

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override {
        events.push_back(ev);
        CHostWindow::OnControlEvent(ev);
        return true;  // recorded, so it goes no further
    }
};

// Counts the paint events a widget gets.
class CPaintCounter : public QObject {
public:
    explicit CPaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++count;
        }
        return false;
    }
};

}  // namespace uitest
