#include "toolkit/SSliderBar.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "toolkit/ControlEvent.h"
#include "toolkit/Controls.h"
#include "toolkit/Skin.h"
#include "toolkit/Theme.h"

namespace {
constexpr int kDefaultThumb = 14;
constexpr int kDefaultRail = 4;
}  // namespace

SSliderBar::SSliderBar(QWidget* parent) : QAbstractSlider(parent) {
    setOrientation(Qt::Horizontal);
    setRange(0, 100);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);  // to light the thumb under the mouse
}

void SSliderBar::setBkgndSkin(const QString& s) {
    m_bkgndSkin = s;
    updateGeometry();
    update();
}

void SSliderBar::setPosSkin(const QString& s) {
    m_posSkin = s;
    update();
}

void SSliderBar::setThumbSkin(const QString& s) {
    m_thumbSkin = s;
    updateGeometry();
    update();
}

void SSliderBar::setThumbInRail(bool b) {
    m_thumbInRail = b;
    update();
}

QSize SSliderBar::ThumbSize() const {
    if (toolkit::SkinPtr skin = toolkit::GetSkin(m_thumbSkin)) {
        return skin->Size();
    }
    return QSize(kDefaultThumb, kDefaultThumb);
}

QRect SSliderBar::RailRect() const {
    const QSize thumb = ThumbSize();
    int thickness = kDefaultRail;
    if (toolkit::SkinPtr skin = toolkit::GetSkin(m_bkgndSkin)) {
        thickness = IsVertical() ? skin->Size().width() : skin->Size().height();
    }
    if (IsVertical()) {
        const int inset = m_thumbInRail ? 0 : thumb.height() / 2;
        const int x = (width() - thickness) / 2;
        return QRect(x, inset, thickness, qMax(1, height() - 2 * inset));
    }
    const int inset = m_thumbInRail ? 0 : thumb.width() / 2;
    const int y = (height() - thickness) / 2;
    return QRect(inset, y, qMax(1, width() - 2 * inset), thickness);
}

int SSliderBar::RailLength() const {
    const QRect rail = RailRect();
    return IsVertical() ? rail.height() : rail.width();
}

QRect SSliderBar::ThumbRectFor(int v) const {
    const QSize thumb = ThumbSize();
    const QRect rail = RailRect();
    const double range = maximum() - minimum();
    const double frac =
        range > 0 ? double(qBound(minimum(), v, maximum()) - minimum()) / range : 0.0;
    if (IsVertical()) {
        const int x = (width() - thumb.width()) / 2;
        int top;
        if (m_thumbInRail) {
            top = rail.top() + int((1.0 - frac) * (rail.height() - thumb.height()) + 0.5);
        } else {
            const int centre = rail.top() + rail.height() - int(frac * rail.height() + 0.5);
            top = centre - thumb.height() / 2;
        }
        return QRect(QPoint(x, top), thumb);
    }
    const int y = (height() - thumb.height()) / 2;
    int left;
    if (m_thumbInRail) {
        left = rail.left() + int(frac * (rail.width() - thumb.width()) + 0.5);
    } else {
        left = rail.left() + int(frac * rail.width() + 0.5) - thumb.width() / 2;
    }
    return QRect(QPoint(left, y), thumb);
}

QRect SSliderBar::ThumbRect() const {
    return ThumbRectFor(value());
}

int SSliderBar::ValueFromRailPoint(const QPoint& pt) const {
    const QRect rail = RailRect();
    const qint64 span = qint64(maximum()) - minimum() + 1;
    qint64 v;
    if (IsVertical()) {
        v = minimum() + (qint64(rail.top() + rail.height()) - pt.y()) * span / rail.height();
    } else {
        v = minimum() + (qint64(pt.x()) - rail.left()) * span / rail.width();
    }
    return int(std::clamp<qint64>(v, minimum(), maximum()));
}

QRect SSliderBar::SelectedRect() const {
    if (value() == minimum()) {
        return {};
    }
    const QRect rail = RailRect();
    const QRect thumb = ThumbRect();
    if (IsVertical()) {
        const int top = thumb.center().y();
        return QRect(rail.left(), top, rail.width(), rail.top() + rail.height() - top);
    }
    return QRect(rail.left(), rail.top(), thumb.center().x() - rail.left() + 1, rail.height());
}

int SSliderBar::ThumbState() const {
    if (!isEnabled())
        return 3;
    if (m_dragging)
        return 2;
    if (m_thumbHot)
        return 1;
    return 0;
}

void SSliderBar::SetValueByUser(int v) {
    v = qBound(minimum(), v, maximum());
    setValue(v);
    emit sliderPos(value());
    toolkit::RaiseControlEvent(this, toolkit::EventKind::SliderPos, value());
    UpdateValueTip();
}

bool SSliderBar::HandleStepKey(int key) {
    const int range = maximum() - minimum();
    switch (key) {
        case Qt::Key_PageUp:
            SetValueByUser(value() + range / 5);
            return true;
        case Qt::Key_PageDown:
            SetValueByUser(value() - range / 5);
            return true;
        case Qt::Key_End:
            SetValueByUser(minimum());
            return true;
        case Qt::Key_Home:
            SetValueByUser(maximum());
            return true;
        case Qt::Key_Left:
        case Qt::Key_Down:
            SetValueByUser(value() - 1);
            return true;
        case Qt::Key_Up:
        case Qt::Key_Right:
            SetValueByUser(value() + 1);
            return true;
        default:
            return false;
    }
}

int SSliderBar::HandleWheelNotches(QWheelEvent* event) {
    // Whole notches only; touchpads send fractions that add up.
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    return notches;
}

void SSliderBar::SetThumbHot(bool hot) {
    if (hot == m_thumbHot) {
        return;
    }
    m_thumbHot = hot;
    update(ThumbRect());
    if (hot || m_dragging) {
        UpdateValueTip();
    }
}

void SSliderBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect rail = RailRect();
    const QRect selected = SelectedRect();
    const QRect thumb = ThumbRect();
    const bool enabled = isEnabled();

    if (!toolkit::DrawSkin(p, m_bkgndSkin, rail, enabled ? 0 : 1)) {
        p.setPen(Qt::NoPen);
        p.setBrush(toolkit::theme::kRail);
        const double r = (IsVertical() ? rail.width() : rail.height()) / 2.0;
        p.drawRoundedRect(QRectF(rail), r, r);
    }
    if (!selected.isEmpty() && !toolkit::DrawSkin(p, m_posSkin, selected, enabled ? 0 : 1)) {
        p.setPen(Qt::NoPen);
        QColor c = enabled ? toolkit::theme::kAccent : toolkit::theme::kDisabled;
        p.setBrush(c);
        const double r = (IsVertical() ? selected.width() : selected.height()) / 2.0;
        p.drawRoundedRect(QRectF(selected), r, r);
    }
    if (!toolkit::DrawSkin(p, m_thumbSkin, thumb, ThumbState())) {
        const QRectF t = QRectF(thumb).adjusted(1, 1, -1, -1);
        p.setPen(QPen(enabled ? toolkit::theme::kAccent : toolkit::theme::kDisabled, 2));
        p.setBrush(ThumbState() == 0 ? toolkit::theme::kPanel : toolkit::theme::kPanelHover);
        p.drawEllipse(t);
    }
}

void SSliderBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractSlider::mousePressEvent(event);
        return;
    }
    const QPoint pt = event->position().toPoint();
    if (!ThumbRect().contains(pt)) {
        SetValueByUser(ValueFromRailPoint(pt));
    }
    m_dragging = true;
    setSliderDown(true);  // pages stop following the player while the thumb is held
    m_dragStartValue = value();
    m_pressPos = pt;
    update(ThumbRect());
    UpdateValueTip();
    event->accept();
}

void SSliderBar::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    if (!m_dragging) {
        SetThumbHot(ThumbRect().contains(pt));
        return;
    }
    const qint64 span = qint64(maximum()) - minimum() + 1;
    const int moved = IsVertical() ? m_pressPos.y() - pt.y() : pt.x() - m_pressPos.x();
    const qint64 v = m_dragStartValue + qint64(moved) * span / qMax(1, RailLength());
    const int nv = int(std::clamp<qint64>(v, minimum(), maximum()));
    if (nv != value()) {
        const QRect old = ThumbRect();
        SetValueByUser(nv);
        update(old);
    }
}

void SSliderBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) {
        QAbstractSlider::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    setSliderDown(false);
    m_thumbHot = ThumbRect().contains(event->position().toPoint());
    update();
    HideValueTip();
}

void SSliderBar::leaveEvent(QEvent* event) {
    SetThumbHot(false);
    HideValueTip();
    QAbstractSlider::leaveEvent(event);
}

void SSliderBar::wheelEvent(QWheelEvent* event) {
    const int notches = HandleWheelNotches(event);
    if (notches != 0) {
        SetValueByUser(value() + notches);
    }
    event->accept();
}

void SSliderBar::keyPressEvent(QKeyEvent* event) {
    if (!HandleStepKey(event->key())) {
        event->ignore();
    }
}

void SSliderBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractSlider::changeEvent(event);
}

QSize SSliderBar::sizeHint() const {
    const QSize thumb = ThumbSize();
    return IsVertical() ? QSize(thumb.width() + 4, 120) : QSize(160, thumb.height() + 4);
}

QSize SSliderBar::minimumSizeHint() const {
    const QSize thumb = ThumbSize();
    return IsVertical() ? QSize(thumb.width(), thumb.height() * 2)
                        : QSize(thumb.width() * 2, thumb.height());
}

void SSliderBar::focusInEvent(QFocusEvent* event) {
    if (toolkit::PassOnStrayFocus(this, event->reason())) {
        return;
    }
    QAbstractSlider::focusInEvent(event);
}
