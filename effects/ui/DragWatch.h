#pragma once

#include <QObject>
#include <QSet>
#include <QWidget>
#include <functional>

namespace effects::ui {

// Knows which sliders and knobs the user holds with the mouse, so that values the card reports
// for them can wait until the button is released instead of moving the control under the pointer.
class CDragWatch : public QObject {
public:
    explicit CDragWatch(std::function<void(QWidget*)> onRelease);

    void Watch(QWidget* control);
    bool IsHeld(const QWidget* control) const { return m_held.contains(control); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Let(QWidget* control);

    std::function<void(QWidget*)> m_onRelease;
    QSet<const QObject*> m_watched;
    QSet<const QObject*> m_held;
};

}  // namespace effects::ui
