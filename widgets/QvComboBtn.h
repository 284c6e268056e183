#pragma once

#include <QPointer>
#include <QPushButton>

// "qvcombobtn" (extends "button"): a button that owns a drop-down window. When the drop-down
// ends, the button is told, destroys it and sends its window a mouse move at the cursor so that
// hover states are refreshed.
class QvComboBtn : public QPushButton {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvcombobtn button")
    Q_PROPERTY(int animateTime READ animateTime WRITE setAnimateTime)
public:
    explicit QvComboBtn(QWidget* parent = nullptr);

    int animateTime() const { return m_animateTime; }
    void setAnimateTime(int ms) { m_animateTime = ms; }

    // Shows the drop-down under the button; the button owns it until it closes.
    void DropDown(QWidget* popup);
    QWidget* DropDownWindow() const { return m_dropDown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnDropDownEnd();

    int m_animateTime = 0;
    QPointer<QWidget> m_dropDown;
};
