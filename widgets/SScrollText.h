#pragma once

#include <QLabel>
#include <QString>

#include "toolkit/Timeline.h"

// "scrolltext" (extends "text"): a one-line text that runs like a marquee when it is wider than
// the control. "rolltype" 0: the text runs out to the left and follows itself without a gap;
// 1: it runs out to the left and comes back in from the right edge. One pixel per "speed"
// milliseconds, counted down in the 10 ms steps of the animation timeline.
class SScrollText : public QLabel, public toolkit::ITimelineHandler {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "scrolltext text")
    Q_PROPERTY(int speed READ speed WRITE setSpeed)
    Q_PROPERTY(int rolltype READ rolltype WRITE setRolltype)
    Q_PROPERTY(QString textAlign READ textAlign WRITE setTextAlign)
public:
    explicit SScrollText(QWidget* parent = nullptr);
    ~SScrollText() override;

    int speed() const { return m_speed; }
    void setSpeed(int ms) { m_speed = qMax(0, ms); }
    int rolltype() const { return m_rollType; }
    void setRolltype(int type);
    QString textAlign() const { return m_textAlign; }
    // "left", "right", "top", "bottom" or "center"; other text is an attribute error and keeps
    // the old value.
    void setTextAlign(const QString& align);

    // QLabel::setText is not virtual and tells the label nothing, so a new text (the player bar
    // changes the text of a control whose size does not change) is measured when it is next
    // painted, shown or asked about.
    int TextWidth() const;
    int Offset() const;
    int Countdown() const { return m_countdown; }
    bool IsAnimating() const;
    Qt::Alignment AlignFlags() const { return m_alignFlags; }

    void OnNextFrame() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Measure();
    // Measures again when the text changed since the last measure.
    void SyncText() const;
    void StartAnimation();
    void StopAnimation();

    int m_speed = 20;
    int m_rollType = 0;
    QString m_textAlign = QStringLiteral("center");
    Qt::Alignment m_alignFlags = Qt::AlignCenter;
    mutable QString m_measuredText;
    int m_textWidth = 0;
    int m_offset = 0;
    int m_countdown = 0;
};
