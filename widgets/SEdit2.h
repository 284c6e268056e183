#pragma once

#include <QColor>
#include <QLineEdit>
#include <QString>

// "edit2" (extends "edit"): the numeric box beside a fader. Up, Down, Enter and the wheel raise
// "on_edit_valuechanging" (29101) with a step of +1, -1, 0 and +-1; the page applies the step.
// An edit that takes Enter itself ("wantReturn") raises nothing for it. With the
// focus, "focusSkin" is drawn under the text.
class SEdit2 : public QLineEdit {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "edit2 edit richedit")
    Q_PROPERTY(QString focusSkin READ focusSkin WRITE setFocusSkin)
    Q_PROPERTY(QString cueText READ placeholderText WRITE setPlaceholderText)
    Q_PROPERTY(QColor cueColor READ cueColor WRITE setCueColor)
    Q_PROPERTY(bool number READ number WRITE setNumber)
    Q_PROPERTY(int maxBuf READ maxLength WRITE setMaxLength)
    Q_PROPERTY(bool wantReturn READ wantReturn WRITE setWantReturn)
    Q_PROPERTY(bool hasFocusSkin READ hasFocusSkin)
public:
    explicit SEdit2(QWidget* parent = nullptr);

    QString focusSkin() const { return m_focusSkin; }
    void setFocusSkin(const QString& s);
    bool hasFocusSkin() const { return !m_focusSkin.isEmpty(); }
    QColor cueColor() const { return m_cueColor; }
    void setCueColor(const QColor& c);
    // Digits (and a leading minus) only. A number box takes the focus only from the user.
    bool number() const { return m_number; }
    void setNumber(bool on);
    bool wantReturn() const { return m_wantReturn; }
    void setWantReturn(bool on) { m_wantReturn = on; }

signals:
    // The step of the value-changing event.
    void valueChanging(int step);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void RaiseStep(int step);

    QString m_focusSkin;
    QColor m_cueColor;
    bool m_number = false;
    bool m_wantReturn = false;
};
