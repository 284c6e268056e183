#pragma once

#include <QAbstractSlider>
#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>

// The rotary knob ("qvrotaryknob", extends "sliderbar"). The scale runs clockwise
// from the bottom-left round to the bottom-right, leaving a gap of "includedAngle" degrees at the
// bottom. Painting order: value arc, background skin, dot pointer, needle. Degree and radian
// conversions use 3.14 for pi, as the values the pages and tests expect depend on it.
//
// The value scale starts at 0, not at the minimum (value = sweep * units per degree, clamped).
//
// The dot pointer points where the mouse pointed; a value set by a page, a key or the wheel moves
// it to that value's place on the scale (the Part leaves it where the mouse last was, which shows
// a wrong position on a knob that only the card turns).
class QvRotaryKnob : public QAbstractSlider {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvrotaryknob sliderbar")
    Q_PROPERTY(double includedAngle READ includedAngle WRITE setIncludedAngle)
    Q_PROPERTY(int fgRadius READ fgRadius WRITE setFgRadius)
    Q_PROPERTY(int fgPaintArc READ fgPaintArc WRITE setFgPaintArc)
    Q_PROPERTY(QColor colorCircle READ colorCircle WRITE setColorCircle)
    Q_PROPERTY(int arcWidth READ arcWidth WRITE setArcWidth)
    Q_PROPERTY(QString pointertype READ pointertype WRITE setPointertype)
    Q_PROPERTY(QString dotSkin READ dotSkin WRITE setDotSkin)
    Q_PROPERTY(int dotRadius READ dotRadius WRITE setDotRadius)
    Q_PROPERTY(QString slashSkin READ slashSkin WRITE setSlashSkin)
    Q_PROPERTY(QSize pointerSize READ pointerSize WRITE setPointerSize)
    Q_PROPERTY(QPoint poniterOffset READ poniterOffset WRITE setPoniterOffset)
    Q_PROPERTY(QString bkgndSkin READ bkgndSkin WRITE setBkgndSkin)
    Q_PROPERTY(QString thumbSkin READ thumbSkin WRITE setThumbSkin)
    Q_PROPERTY(bool thumbInRail READ thumbInRail WRITE setThumbInRail)
public:
    static constexpr double kPi = 3.14;

    explicit QvRotaryKnob(QWidget* parent = nullptr);

    double includedAngle() const { return m_includedAngle; }
    void setIncludedAngle(double degrees);
    int fgRadius() const { return m_fgRadius; }
    void setFgRadius(int r);
    int fgPaintArc() const { return m_fgPaintArc; }
    void setFgPaintArc(int on);
    QColor colorCircle() const { return m_colorCircle; }
    void setColorCircle(const QColor& c);
    // Width of the value arc's pen (ours; the Part leaves the arc style open).
    int arcWidth() const { return m_arcWidth; }
    void setArcWidth(int w);
    QString pointertype() const { return m_pointerType; }
    // "pterDot" or "pterSlash"; any other text is an attribute error and keeps the old value.
    void setPointertype(const QString& type);
    QString dotSkin() const { return m_dotSkin; }
    void setDotSkin(const QString& s);
    int dotRadius() const { return m_dotRadius; }
    void setDotRadius(int r);
    QString slashSkin() const { return m_slashSkin; }
    void setSlashSkin(const QString& s);
    QSize pointerSize() const { return m_pointerSize; }
    void setPointerSize(const QSize& s);
    QPoint poniterOffset() const { return m_pointerOffset; }
    void setPoniterOffset(const QPoint& p);
    QString bkgndSkin() const { return m_bkgndSkin; }
    void setBkgndSkin(const QString& s);
    QString thumbSkin() const { return m_thumbSkin; }
    void setThumbSkin(const QString& s) { m_thumbSkin = s; }
    bool thumbInRail() const { return m_thumbInRail; }
    void setThumbInRail(bool b) { m_thumbInRail = b; }

    // State, for tests and for the pages' own drawing.
    QPoint Centre() const { return m_centre; }
    double UnitsPerDegree() const;
    double StartAngle() const { return 90.0 + m_includedAngle / 2.0; }
    double Sweep() const { return m_sweep; }
    // The sweep the painting uses for the current value: value * (360 - gap) / range.
    double PaintSweep() const;
    QPointF DotPos() const { return m_dot; }
    bool IsDragging() const { return m_dragging; }
    bool IsPinnedAtMaximum() const { return m_pinMax; }
    bool IsPinnedAtMinimum() const { return m_pinMin; }
    // The value a mouse point gives (and the sweep and dot position it leaves).
    int ValueFromPoint(const QPoint& pt);

    QSize sizeHint() const override;

signals:
    // The user changed the value (press, drag, wheel or key); also raised as "on_slider_pos".
    void sliderPos(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void sliderChange(SliderChange change) override;

private:
    void Relayout();
    QPointF ScaleEndPoint(bool atMaximum) const;
    QPointF DotForSweep(double sweep) const;
    void RaiseSliderPos();
    void SetUserValue(int v);

    double m_includedAngle = 30.0;
    int m_fgRadius = 0;
    int m_fgPaintArc = 1;
    QColor m_colorCircle{0x00, 0xF6, 0xFF};
    int m_arcWidth = 3;
    QString m_pointerType;
    QString m_dotSkin;
    int m_dotRadius = 20;
    QString m_slashSkin;
    QSize m_pointerSize{0, 0};
    QPoint m_pointerOffset{0, 0};
    QString m_bkgndSkin;
    QString m_thumbSkin;
    bool m_thumbInRail = false;

    QPoint m_centre;
    double m_sweep = 0.0;
    QPointF m_dot;
    bool m_dragging = false;
    bool m_mouseSetting = false;  // the value being set comes from the mouse point
    bool m_pinMax = false;
    bool m_pinMin = false;
    QPoint m_pressPoint;
    int m_wheelRemainder = 0;
};
