#include "widgets/QvEqGrid.h"

#include <QEvent>
#include <QPainter>

#include "toolkit/Theme.h"
#include "widgets/QvEq.h"

QvEqGrid::QvEqGrid(QWidget* parent)
    : QWidget(parent),
      m_colorBorder(toolkit::theme::kBorder),
      m_colorText(toolkit::theme::kTextDim) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Small enough for "-12dB" in the default left margin and "20kHz" at the right edge.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
}

void QvEqGrid::setColorBorder(const QColor& c) {
    m_colorBorder = c;
    Invalidate();
}

void QvEqGrid::setColorText(const QColor& c) {
    m_colorText = c;
    Invalidate();
}

void QvEqGrid::Invalidate() {
    m_cache = QPixmap();
    update();
}

void QvEqGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        Invalidate();
    }
    QWidget::changeEvent(event);
}

void QvEqGrid::paintEvent(QPaintEvent*) {
    const auto* eq = qobject_cast<const QvEQ*>(parentWidget());
    if (!eq) {
        return;
    }
    const qreal dpr = devicePixelRatioF();
    if (m_cache.isNull() || m_cache.deviceIndependentSize() != QSizeF(size()) ||
        m_cache.devicePixelRatio() != dpr) {
        m_cache = QPixmap((QSizeF(size()) * dpr).toSize());
        m_cache.setDevicePixelRatio(dpr);
        m_cache.fill(Qt::transparent);
        QPainter p(&m_cache);
        DrawGrid(p, *eq);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, m_cache);
}

void QvEqGrid::DrawGrid(QPainter& p, const QvEQ& eq) const {
    const EqPlotGeometry& g = eq.Geometry();
    const EqPlotAttributes& a = g.Attributes();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-pos());
    p.setFont(font());
    const int width = eq.width();
    // Half-pixel centres keep 1 px lines on one pixel row instead of smearing them over two.
    const double h = 0.5;

    QPen line(m_colorBorder, 1.0);
    for (const EqGridLine& l : g.HorizontalLines()) {
        p.setPen(line);
        p.drawLine(QPointF(a.ldist + h, l.position + h),
                   QPointF(width - a.rdist - h, l.position + h));
        if (!l.label.empty()) {
            p.setPen(m_colorText);
            const QRect box(2, l.position - 7, a.ldist - 4, g.RowHeight() + 2);
            p.drawText(box, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                       QString::fromStdString(l.label));
        }
    }

    // The labelled frequencies carry the eye; the lines between them are fainter.
    QColor minor = m_colorBorder;
    minor.setAlphaF(m_colorBorder.alphaF() * 0.55);
    const QFontMetrics fm(font());
    for (const EqGridLine& l : g.VerticalLines()) {
        p.setPen(QPen(l.label.empty() ? minor : m_colorBorder, 1.0));
        p.drawLine(QPointF(l.position + h, g.PlotTop() + h),
                   QPointF(l.position + h, g.PlotBottom() + h));
        if (!l.label.empty()) {
            p.setPen(m_colorText);
            const QString text = QString::fromStdString(l.label);
            p.drawText(QRect(l.position - 12, g.PlotBottom() + 5, fm.horizontalAdvance(text) + 2,
                             fm.height()),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        }
    }
}
