#include "widgets/QvProgressEX.h"

#include <QPainter>

#include "toolkit/Skin.h"
#include "toolkit/Theme.h"

QvProgressEX::QvProgressEX(QWidget* parent) : SProgress(parent) {}

void QvProgressEX::setSkinPosBottom(const QString& s) {
    m_skinBottom = s;
    update();
}

void QvProgressEX::setSkinPosMid(const QString& s) {
    m_skinMid = s;
    update();
}

void QvProgressEX::setSkinPosTop(const QString& s) {
    m_skinTop = s;
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

void QvProgressEX::setValue(int v) {
    v = qBound(m_min, v, m_max);
    if (v == m_value && v == m_lastShown) {
        return;
    }
    const bool changed = v != m_value;
    m_value = v;
    // Only the strip between the edge painted last and the new one changes (a meter repaints
    // many times a second); a pixel either side covers the rounding.
    const int a = LitEdge(m_lastShown);
    const int b = LitEdge(v);
    const int from = qMin(a, b) - 1;
    const int to = qMax(a, b) + 1;
    if (vertical()) {
        update(QRect(0, from, width(), to - from + 1));
    } else {
        update(QRect(from, 0, to - from + 1, height()));
    }
    if (changed) {
        emit valueChanged(v);
    }
}

void QvProgressEX::ApplyDecline() {
    const int step = m_declineSpeed * m_max / 100;
    if ((m_value != 0 || DeclinesToZero()) && m_value + step < m_lastShown) {
        m_value = m_lastShown - step;
    }
    m_lastShown = m_value;
}

void QvProgressEX::paintEvent(QPaintEvent*) {
    ApplyDecline();
    QPainter p(this);
    const QRect r = rect();
    const int range = m_max - m_min;
    if (!toolkit::DrawSkin(p, m_skinBottom, r)) {
        p.fillRect(r, toolkit::theme::kAccent);
    }
    if (range > 0) {
        const qint64 unlitNumer = qint64(m_max) + m_min - m_value;
        QRect unlit;
        if (vertical()) {
            const int h = int(r.height() * unlitNumer / range);
            unlit = QRect(r.left(), r.top(), r.width(), h);
        } else {
            const int w = int(r.width() * unlitNumer / range);
            unlit = QRect(r.right() + 1 - w, r.top(), w, r.height());
        }
        if (!unlit.isEmpty() && !toolkit::DrawSkin(p, m_skinMid, unlit)) {
            p.fillRect(unlit, toolkit::theme::kPanel);
        }
    }
    toolkit::DrawSkin(p, m_skinTop, r);
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
