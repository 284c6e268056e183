#include "widgets/QvProgressEX.h"

#include <QPaintEvent>
#include <QPainter>

#include "toolkit/Skin.h"
#include "toolkit/Theme.h"

QvProgressEX::QvProgressEX(QWidget* parent) : SProgress(parent) {}

void QvProgressEX::setSkinPosBottom(const QString& s) {
    m_skinBottom = s;
    m_lit = QPixmap();
    update();
}

void QvProgressEX::setSkinPosMid(const QString& s) {
    m_skinMid = s;
    m_unlit = QPixmap();
    update();
}

void QvProgressEX::setSkinPosTop(const QString& s) {
    m_skinTop = s;
    m_lit = m_unlit = QPixmap();
    update();
}

void QvProgressEX::setDeclineSpeed(int percent) {
    m_declineSpeed = percent;
}

int QvProgressEX::LitEdge(int value) const {
    const QRect r = rect();
    const int range = m_max - m_min;
    if (range <= 0) {
        return 0;
    }
    const qint64 unlitNumer = qint64(m_max) + m_min - value;
    return vertical() ? r.top() + int(r.height() * unlitNumer / range)
                      : r.right() + 1 - int(r.width() * unlitNumer / range);
}

QRect QvProgressEX::Strip(int a, int b) const {
    const int ea = LitEdge(a);
    const int eb = LitEdge(b);
    const int from = qMin(ea, eb) - 1;
    const int to = qMax(ea, eb) + 1;
    return vertical() ? QRect(0, from, width(), to - from + 1) & rect()
                      : QRect(from, 0, to - from + 1, height()) & rect();
}

void QvProgressEX::setValue(int v) {
    v = qBound(m_min, v, m_max);
    if (v == m_value && v == m_lastShown) {
        return;
    }
    const bool changed = v != m_value;
    m_value = v;
    // Only the strip between the edge painted last and the new one changes (a meter repaints
    // many times a second).
    update(Strip(m_lastShown, v));
    if (changed) {
        emit valueChanged(v);
    }
}

QRect QvProgressEX::SetShownValue(int v) {
    v = qBound(m_min, v, m_max);
    if (v == m_value && v == m_lastShown) {
        return {};
    }
    const QRect strip = Strip(m_lastShown, v);
    m_value = m_lastShown = v;
    return strip;
}

void QvProgressEX::ApplyDecline() {
    const int step = m_declineSpeed * m_max / 100;
    if ((m_value != 0 || DeclinesToZero()) && m_value + step < m_lastShown) {
        m_value = m_lastShown - step;
    }
    m_lastShown = m_value;
}

void QvProgressEX::paintEvent(QPaintEvent* event) {
    ApplyDecline();
    QPainter p(this);
    PaintOn(p, event->rect());
}

namespace {

// The skins over each other at the control's size. Opaque skins make an image without alpha,
// which paints as a plain copy.
QPixmap ComposeSkins(const QSize& size, const QString& under, const QColor& fallback,
                     const QString& over) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        const QRect r(QPoint(0, 0), size);
        if (!toolkit::DrawSkin(p, under, r)) {
            p.fillRect(r, fallback);
        }
        toolkit::DrawSkin(p, over, r);
    }
    bool opaque = true;
    for (int y = 0; y < img.height() && opaque; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width() && opaque; ++x) {
            opaque = qAlpha(line[x]) == 255;
        }
    }
    return QPixmap::fromImage(opaque ? img.convertToFormat(QImage::Format_RGB32) : img);
}

}  // namespace

void QvProgressEX::Compose() {
    const QSize size = this->size();
    if (m_lit.size() != size) {
        m_lit = ComposeSkins(size, m_skinBottom, toolkit::theme::kAccent, m_skinTop);
    }
    if (m_unlit.size() != size) {
        // The unlit skin is one colour: cut from the whole control it is what it would be
        // stretched over the unlit part alone.
        m_unlit = ComposeSkins(size, m_skinMid, toolkit::theme::kPanel, m_skinTop);
    }
}

void QvProgressEX::PaintOn(QPainter& p, const QRect& area) {
    const QRect r = rect();
    if (r.isEmpty()) {
        return;
    }
    Compose();
    QRect lit = r;
    QRect unlit;
    if (m_max > m_min) {
        const int edge = LitEdge(m_value);
        if (vertical()) {
            unlit = QRect(r.left(), r.top(), r.width(), edge - r.top());
            lit = QRect(r.left(), edge, r.width(), r.bottom() + 1 - edge);
        } else {
            lit = QRect(r.left(), r.top(), edge - r.left(), r.height());
            unlit = QRect(edge, r.top(), r.right() + 1 - edge, r.height());
        }
    }
    lit &= area;
    unlit &= area;
    if (!lit.isEmpty()) {
        p.drawPixmap(lit.topLeft(), m_lit, lit);
    }
    if (!unlit.isEmpty()) {
        p.drawPixmap(unlit.topLeft(), m_unlit, unlit);
    }
}

QSize QvProgressEX::sizeHint() const {
    return vertical() ? QSize(8, 100) : QSize(120, 8);
}

QvProgressEX1::QvProgressEX1(QWidget* parent) : QvProgressEX(parent) {
    m_declineSpeed = 4;
}

QvProgressEX1::~QvProgressEX1() {
    toolkit::CTimeline::Instance().Remove(this);
}

void QvProgressEX1::StartFallOff() {
    setValue(0);
    m_fallCounter = 50;
    toolkit::CTimeline::Instance().Add(this);
}

bool QvProgressEX1::IsFallingOff() const {
    return toolkit::CTimeline::Instance().Contains(this);
}

void QvProgressEX1::OnNextFrame() {
    --m_fallCounter;
    if (m_lastShown != 0) {
        m_value = 0;
        if (isVisible()) {
            update();
        } else {
            ApplyDecline();  // nothing paints a hidden meter, so fall here
        }
        if (m_fallCounter <= 0) {
            m_fallCounter = 50;
        }
        return;
    }
    toolkit::CTimeline::Instance().Remove(this);
}
