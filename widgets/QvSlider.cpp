#include "widgets/QvSlider.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include "widgets/SSimpleToolTip.h"

QvSlider::QvSlider(QWidget* parent) : SSliderBar(parent) {
    SSimpleToolTip::AddRef();
}

QvSlider::~QvSlider() {
    if (m_tipShown) {
        if (SSimpleToolTip* tip = SSimpleToolTip::Instance()) {
            tip->ShowText(QString(), 0, 0);
        }
    }
    SSimpleToolTip::Release();
}

void QvSlider::setThumbInRailX(int px) {
    m_thumbInRailX = px;
    update();
}

void QvSlider::setSelectPosDeflate(int px) {
    m_selectDeflate = px;
    update();
}

QRect QvSlider::SelectedRect() const {
    QRect r = SSliderBar::SelectedRect();
    if (r.isEmpty()) {
        return r;
    }
    if (IsVertical()) {
        r.setBottom(r.bottom() + m_thumbInRailX);
        r.adjust(m_selectDeflate, 0, -m_selectDeflate, 0);
    } else {
        r.adjust(0, m_selectDeflate, 0, -m_selectDeflate);
    }
    return r;
}

QString QvSlider::TipText() const {
    return QString::number(value() + m_delta);
}

QPoint QvSlider::TipPos() const {
    const QRect thumb(mapToGlobal(ThumbRect().topLeft()), ThumbRect().size());
    const int len = int(TipText().size());
    if (IsVertical()) {
        return QPoint(thumb.left() - 6 * len - 15, thumb.top() + thumb.height() / 2 - 11);
    }
    return QPoint(thumb.left() + (thumb.width() - 6 * len - 10) / 2,
                  thumb.top() + thumb.height() + 10);
}

void QvSlider::UpdateValueTip() {
    if (!showPercent() || !(IsThumbHot() || IsDragging() || m_tipShown)) {
        return;
    }
    if (SSimpleToolTip* tip = SSimpleToolTip::Instance()) {
        const QPoint pos = TipPos();
        tip->ShowText(TipText(), pos.x(), pos.y());
        m_tipShown = true;
    }
}

void QvSlider::HideValueTip() {
    if (!m_tipShown) {
        return;
    }
    m_tipShown = false;
    if (SSimpleToolTip* tip = SSimpleToolTip::Instance()) {
        tip->ShowText(QString(), 0, 0);
    }
}

QvSlider2::QvSlider2(QWidget* parent) : QvSlider(parent) {}

void QvSlider2::setSelectPos(int v) {
    m_selectPos = v;
    update();
}

QRect QvSlider2::SelectedRect() const {
    const QRect rail = RailRect();
    const QRect thumb = ThumbRect();
    const QRect anchor = ThumbRectFor(m_selectPos);
    const int deflate = SelectPosDeflate();
    if (IsVertical()) {
        const int a = anchor.center().y();
        const int t = thumb.center().y();
        if (a == t)
            return {};
        return QRect(rail.left() + deflate, qMin(a, t), rail.width() - 2 * deflate,
                     qAbs(a - t) + 1);
    }
    const int a = anchor.center().x();
    const int t = thumb.center().x();
    if (a == t)
        return {};
    return QRect(qMin(a, t), rail.top() + deflate, qAbs(a - t) + 1, rail.height() - 2 * deflate);
}

void QvSlider2::ShowTipAfterStep() {
    if (!showPercent()) {
        return;
    }
    m_tipShown = true;
    UpdateValueTip();
}

void QvSlider2::wheelEvent(QWheelEvent* event) {
    QvSlider::wheelEvent(event);
    ShowTipAfterStep();
}

void QvSlider2::keyPressEvent(QKeyEvent* event) {
    const int before = value();
    QvSlider::keyPressEvent(event);
    if (event->isAccepted() || value() != before) {
        ShowTipAfterStep();
    }
}

void QvSlider2::focusOutEvent(QFocusEvent* event) {
    HideValueTip();
    QvSlider::focusOutEvent(event);
}
