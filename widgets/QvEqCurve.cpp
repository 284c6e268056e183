#include "widgets/QvEqCurve.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "widgets/QvEq.h"

QvEqCurve::QvEqCurve(QWidget* parent)
    : QWidget(parent),
      m_total(EqFreqAxis::kPoints),
      m_band(EqFreqAxis::kPoints + 2),
      m_ribbon(2 * EqFreqAxis::kPoints) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Repaints often while a slider is dragged; what lies under it is the grid, not this.
    setAttribute(Qt::WA_NoSystemBackground);
}

void QvEqCurve::setLineWidth(int w) {
    m_lineWidth = std::max(w, 1);
    update();
}

void QvEqCurve::setColorLine(const QColor& c) {
    m_colorLine = c;
    update();
}

void QvEqCurve::setColorCurrLine(const QColor& c) {
    m_colorCurrLine = c;
    update();
}

QvEQ* QvEqCurve::Eq() const {
    return qobject_cast<QvEQ*>(parentWidget());
}

void QvEqCurve::paintEvent(QPaintEvent*) {
    const QvEQ* eq = Eq();
    if (!eq) {
        return;
    }
    const EqPlotGeometry& g = eq->Geometry();
    const EqCurveModel& model = eq->Model();
    if (g.PlotWidth() <= 0 || g.PlotHeight() <= 0) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-pos());  // the geometry is in the display's coordinates
    // A response beyond the dB range leaves the plot at its edge instead of crossing the labels.
    p.setClipRect(QRectF(g.PlotLeft(), g.PlotTop() - 2, g.PlotWidth() + 1, g.PlotHeight() + 4));

    const double y0 = g.ZeroLineY();
    const double perDb = g.PixelsPerDb();
    const int n = EqFreqAxis::kPoints;

    const int current = model.CurrentBand();
    if (current >= 0 && current < model.BandCount()) {
        const std::vector<double>& r = model.Band(current).response;
        const double bottom = g.PlotBottom();
        m_band[0] = QPointF(g.PlotLeft(), y0);
        for (int i = 0; i < n; ++i) {
            m_band[i + 1] = QPointF(g.PointX(i), std::min(y0 - r[size_t(i)] * perDb, bottom));
        }
        m_band[n + 1] = QPointF(g.PointX(n - 1), y0);
        p.setPen(Qt::NoPen);
        p.setBrush(m_colorCurrLine);
        p.drawPolygon(m_band.constData(), int(m_band.size()));
        DrawLine(p, m_band.constData() + 1, n, m_colorCurrLine, m_lineWidth);
    }

    const std::vector<double>& total = model.TotalResponse();
    for (int i = 0; i < n; ++i) {
        m_total[i] = QPointF(g.PointX(i), y0 - total[size_t(i)] * perDb);
    }
    QColor line = m_colorLine;
    line.setAlpha(255);
    DrawLine(p, m_total.constData(), n, line, 2.0);
}

void QvEqCurve::DrawLine(QPainter& p, const QPointF* points, int count, const QColor& color,
                         double width) {
    if (width <= 1.0 || count < 2 || 2 * count > m_ribbon.size()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, width));
        p.drawPolyline(points, count);
        return;
    }
    const double half = width / 2;
    QPointF* ribbon = m_ribbon.data();
    for (int i = 0; i < count; ++i) {
        // The direction at a point from its neighbours: the curve's x always grows, so the
        // length is never 0.
        const QPointF d = points[std::min(i + 1, count - 1)] - points[std::max(i - 1, 0)];
        const double length = std::hypot(d.x(), d.y());
        const QPointF normal(-d.y() / length * half, d.x() / length * half);
        ribbon[i] = points[i] + normal;
        ribbon[2 * count - 1 - i] = points[i] - normal;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(ribbon, 2 * count, Qt::WindingFill);
}
