#pragma once

#include <QColor>
#include <QPointF>
#include <QVector>
#include <QWidget>

class QPainter;

class QvEQ;

// The curves of the equaliser display ("qveqcurve"), a child of QvEQ covering it: the band
// moved last, filled down to the zero line in "colorCurrLine", and the total response over it
// in "colorLine" (drawn opaque, 2 px). Paints nothing outside a QvEQ.
class QvEqCurve : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qveqcurve")
    Q_PROPERTY(int lineWidth READ lineWidth WRITE setLineWidth)
    Q_PROPERTY(QColor colorLine READ colorLine WRITE setColorLine)
    Q_PROPERTY(QColor colorCurrLine READ colorCurrLine WRITE setColorCurrLine)
public:
    explicit QvEqCurve(QWidget* parent = nullptr);

    // The pen of the highlighted band's outline.
    int lineWidth() const { return m_lineWidth; }
    void setLineWidth(int w);
    QColor colorLine() const { return m_colorLine; }
    void setColorLine(const QColor& c);
    // Its alpha is used: the band's fill lies over the grid.
    QColor colorCurrLine() const { return m_colorCurrLine; }
    void setColorCurrLine(const QColor& c);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QvEQ* Eq() const;
    // A polyline of that width: one pixel or less through Qt's hairline path; wider ones as a
    // filled ribbon along the normals, which looks the same on a smooth curve and costs a
    // fraction of Qt's stroker (about 0.3 ms instead of 2 ms for 1024 points): the curve
    // repaints every frame while a slider is dragged.
    void DrawLine(QPainter& p, const QPointF* points, int count, const QColor& color, double width);

    int m_lineWidth = 2;
    QColor m_colorLine{0, 255, 0};
    QColor m_colorCurrLine{60, 60, 60, 50};
    // Sized to the axis once: a repaint allocates nothing.
    QVector<QPointF> m_total;
    QVector<QPointF> m_band;    // the axis points plus the two ends on the zero line
    QVector<QPointF> m_ribbon;  // the outline of a line wider than a pixel
};
