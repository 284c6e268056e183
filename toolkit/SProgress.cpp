#include "toolkit/SProgress.h"

#include <QPainter>

#include "toolkit/Skin.h"
#include "toolkit/Theme.h"

SProgress::SProgress(QWidget* parent) : QWidget(parent) {}

void SProgress::setRange(int min, int max) {
    m_min = min;
    m_max = qMax(min, max);
    const int clamped = qBound(m_min, m_value, m_max);
    if (clamped != m_value) {
        m_value = clamped;
        emit valueChanged(m_value);
    }
    update();
}

void SProgress::setValue(int v) {
    v = qBound(m_min, v, m_max);
    if (v == m_value) {
        return;
    }
    m_value = v;
    update();
    emit valueChanged(v);
}

void SProgress::setVertical(bool v) {
    m_vertical = v;
    update();
}

void SProgress::setBkgndSkin(const QString& s) {
    m_bkgndSkin = s;
    update();
}

void SProgress::setPosSkin(const QString& s) {
    m_posSkin = s;
    update();
}

void SProgress::setShowPercent(bool b) {
    m_showPercent = b;
    update();
}

QRect SProgress::PositionRect(int v) const {
    const QRect r = rect();
    if (v <= m_min || m_max <= m_min) {
        return {};
    }
    const double frac = double(qMin(v, m_max) - m_min) / double(m_max - m_min);
    if (m_vertical) {
        const int h = int(r.height() * frac + 0.5);
        return QRect(r.left(), r.bottom() + 1 - h, r.width(), h);
    }
    return QRect(r.left(), r.top(), int(r.width() * frac + 0.5), r.height());
}

void SProgress::PaintBar(QPainter& p, int v) const {
    const QRect r = rect();
    if (!toolkit::DrawSkin(p, m_bkgndSkin, r)) {
        p.setPen(Qt::NoPen);
        p.setBrush(toolkit::theme::kRail);
        p.drawRoundedRect(QRectF(r), 2, 2);
    }
    const QRect pos = PositionRect(v);
    if (!pos.isEmpty() && !toolkit::DrawSkin(p, m_posSkin, pos)) {
        p.setPen(Qt::NoPen);
        p.setBrush(toolkit::theme::kAccent);
        p.drawRoundedRect(QRectF(pos), 2, 2);
    }
}

void SProgress::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBar(p, m_value);
    if (m_showPercent && m_max > m_min) {
        const int percent = int(qint64(m_value - m_min) * 100 / (m_max - m_min));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("%1%").arg(percent));
    }
}

QSize SProgress::sizeHint() const {
    return m_vertical ? QSize(8, 100) : QSize(160, 8);
}
