#include "effects/ui/DragWatch.h"

#include <QEvent>
#include <QMouseEvent>

namespace effects::ui {

CDragWatch::CDragWatch(std::function<void(QWidget*)> onRelease)
    : m_onRelease(std::move(onRelease)) {}

void CDragWatch::Watch(QWidget* control) {
    if (!control || m_watched.contains(control)) {
        return;
    }
    m_watched.insert(control);
    control->installEventFilter(this);
    connect(control, &QObject::destroyed, this, [this](QObject* gone) {
        m_watched.remove(gone);
        m_held.remove(gone);
    });
}

bool CDragWatch::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                m_held.insert(control);
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                Let(control);
            }
            break;
        case QEvent::Hide:  // a hidden control loses the mouse without a release
            Let(control);
            break;
        default:
            break;
    }
    return false;
}

void CDragWatch::Let(QWidget* control) {
    if (m_held.remove(control) && m_onRelease) {
        m_onRelease(control);
    }
}

}  // namespace effects::ui
