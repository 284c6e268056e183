#include "widgets/QvEqCurve.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "widgets/QvEq.h"

QvEqCurve::QvEqCurve(QWidget* parent)
    : QWidget(parent), m_total(EqFreqAxis::kPoints), m_band(EqFreqAxis::kPoints + 2) {
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
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(m_colorCurrLine, m_lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(m_band.constData() + 1, n);
    }

    const std::vector<double>& total = model.TotalResponse();
    for (int i = 0; i < n; ++i) {
        m_total[i] = QPointF(g.PointX(i), y0 - total[size_t(i)] * perDb);
    }
    QColor line = m_colorLine;
    line.setAlpha(255);
    p.setPen(QPen(line, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(m_total.constData(), n);
}
