#pragma once

#include <QPixmap>
#include <QString>

#include "toolkit/SProgress.h"
#include "toolkit/Timeline.h"

// "qvprogressex": a falling-bar level meter. On every repaint the shown level may fall by at most
// "DeclineSpeed" percent of the maximum, so a meter fed with levels falls smoothly; a new level
// of 0 drops it at once. Painting: "SkinPosBottom" (the lit meter) over the whole control,
// "SkinPosMid" over the unlit part, "SkinPosTop" (segment gaps) over the whole control.
class QvProgressEX : public SProgress {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvprogressex progress")
    Q_PROPERTY(QString SkinPosBottom READ SkinPosBottom WRITE setSkinPosBottom)
    Q_PROPERTY(QString SkinPosMid READ SkinPosMid WRITE setSkinPosMid)
    Q_PROPERTY(QString SkinPosTop READ SkinPosTop WRITE setSkinPosTop)
    Q_PROPERTY(int DeclineSpeed READ DeclineSpeed WRITE setDeclineSpeed)
public:
    explicit QvProgressEX(QWidget* parent = nullptr);

    QString SkinPosBottom() const { return m_skinBottom; }
    void setSkinPosBottom(const QString& s);
    QString SkinPosMid() const { return m_skinMid; }
    void setSkinPosMid(const QString& s);
    QString SkinPosTop() const { return m_skinTop; }
    void setSkinPosTop(const QString& s);
    int DeclineSpeed() const { return m_declineSpeed; }
    void setDeclineSpeed(int percent);

    // The level painted last.
    int ShownValue() const { return m_lastShown; }
    // Repaints also when only the shown level still has to fall.
    void setValue(int v) override;
    // For a painter that draws the meter itself (QvProgressRow): shows v at once, with no
    // repaint and no signal, and returns the strip of the control that changed (empty if none).
    QRect SetShownValue(int v);
    // Paints the part `area` of the meter at the painter's origin, as the meter shows it now.
    void PaintOn(QPainter& p, const QRect& area);

    QSize sizeHint() const override;

protected:
    // Step 1 of the painting: limits the fall of the shown level and records it.
    void ApplyDecline();
    // Where the lit part of a value ends: an x (horizontal) or y (vertical) in the control.
    int LitEdge(int value) const;
    virtual bool DeclinesToZero() const { return false; }
    void paintEvent(QPaintEvent* event) override;

    int m_declineSpeed = 0;
    int m_lastShown = 0;

private:
    // The strip between the lit edges of two values, a pixel either side for the rounding.
    QRect Strip(int a, int b) const;
    // The lit and the unlit meter, skins composed once per size: a repaint is one or two copies.
    void Compose();

    QPixmap m_lit;
    QPixmap m_unlit;
    QString m_skinBottom;
    QString m_skinMid;
    QString m_skinTop;
};

// "qvprogressex1": falls smoothly to 0 as well (DeclineSpeed 4 by default), and has a fall-off
// animation its owner starts when the levels stop.
class QvProgressEX1 : public QvProgressEX, public toolkit::ITimelineHandler {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvprogressex1 qvprogressex progress")
public:
    explicit QvProgressEX1(QWidget* parent = nullptr);
    ~QvProgressEX1() override;

    // Sets the value to 0, the counter to 50 and joins the animation timeline.
    void StartFallOff();
    bool IsFallingOff() const;
    int FallOffCounter() const { return m_fallCounter; }
    void OnNextFrame() override;

protected:
    bool DeclinesToZero() const override { return true; }

private:
    int m_fallCounter = 0;
};
