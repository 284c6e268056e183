#include "widgets/QvRotaryKnob.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "toolkit/ControlEvent.h"
#include "toolkit/Controls.h"
#include "toolkit/Skin.h"

QvRotaryKnob::QvRotaryKnob(QWidget* parent) : QAbstractSlider(parent) {
    setRange(0, 100);
    setFocusPolicy(Qt::StrongFocus);
    Relayout();
}

void QvRotaryKnob::setIncludedAngle(double degrees) {
    m_includedAngle = degrees;
    Relayout();
    update();
}

void QvRotaryKnob::setFgRadius(int r) {
    m_fgRadius = r;
    update();
}

void QvRotaryKnob::setFgPaintArc(int on) {
    m_fgPaintArc = on;
    update();
}

void QvRotaryKnob::setColorCircle(const QColor& c) {
    m_colorCircle = c;
    update();
}

void QvRotaryKnob::setArcWidth(int w) {
    m_arcWidth = qMax(1, w);
    update();
}

void QvRotaryKnob::setPointertype(const QString& type) {
    if (type != QLatin1String("pterDot") && type != QLatin1String("pterSlash")) {
        qWarning("QvRotaryKnob: bad pointertype \"%s\"", qUtf8Printable(type));
        return;
    }
    m_pointerType = type;
}

void QvRotaryKnob::setDotSkin(const QString& s) {
    m_dotSkin = s;
    update();
}

void QvRotaryKnob::setDotRadius(int r) {
    m_dotRadius = r;
    Relayout();
    update();
}

void QvRotaryKnob::setSlashSkin(const QString& s) {
    m_slashSkin = s;
    update();
}

void QvRotaryKnob::setPointerSize(const QSize& s) {
    m_pointerSize = s;
    update();
}

void QvRotaryKnob::setPoniterOffset(const QPoint& p) {
    m_pointerOffset = p;
    update();
}

void QvRotaryKnob::setBkgndSkin(const QString& s) {
    m_bkgndSkin = s;
    updateGeometry();
    update();
}

double QvRotaryKnob::UnitsPerDegree() const {
    return double(maximum() - minimum()) / (360.0 - m_includedAngle);
}

double QvRotaryKnob::PaintSweep() const {
    const int range = maximum() - minimum();
    return range == 0 ? 0.0 : value() * (360.0 - m_includedAngle) / range;
}

QPointF QvRotaryKnob::ScaleEndPoint(bool atMaximum) const {
    const double theta = (90.0 - m_includedAngle / 2.0) * kPi / 180.0;
    const double dx = std::cos(theta) * m_dotRadius;
    const double dy = std::sin(theta) * m_dotRadius;
    return QPointF(atMaximum ? m_centre.x() + dx : m_centre.x() - dx, m_centre.y() + dy);
}

QPointF QvRotaryKnob::DotForSweep(double sweep) const {
    const double a = (StartAngle() + sweep) * kPi / 180.0;
    return QPointF(m_centre.x() + std::cos(a) * m_dotRadius,
                   m_centre.y() + std::sin(a) * m_dotRadius);
}

void QvRotaryKnob::sliderChange(SliderChange change) {
    if (change == SliderValueChange && !m_mouseSetting) {
        m_dot = DotForSweep(qBound(0.0, PaintSweep(), 360.0 - m_includedAngle));
    }
    QAbstractSlider::sliderChange(change);
}

void QvRotaryKnob::Relayout() {
    const QRect r = rect();
    m_centre = QPoint((r.left() + r.right() + 1) / 2, (r.top() + r.bottom() + 1) / 2);
    m_sweep = PaintSweep();
    m_dot = DotForSweep(qBound(0.0, m_sweep, 360.0 - m_includedAngle));
}

void QvRotaryKnob::resizeEvent(QResizeEvent* event) {
    Relayout();
    QAbstractSlider::resizeEvent(event);
}

int QvRotaryKnob::ValueFromPoint(const QPoint& pt) {
    const int dx = pt.x() - m_centre.x();
    const int dy = pt.y() - m_centre.y();
    const double half = m_includedAngle / 2.0;
    if (dy == 0 && dx < 0) {
        m_sweep = 90.0 - half;
    } else if (dy == 0 && dx > 0) {
        m_sweep = 270.0 - half;
    } else if (dx == 0 && dy < 0) {
        m_sweep = 180.0 - half;
    } else if (dx == 0 && dy > 0) {
        m_sweep = 360.0 - half;
    } else {
        const double a = std::atan2(double(dy), double(dx)) * 180.0 / kPi;
        m_sweep = (dx < 0 && dy > 0) ? a - 90.0 - half : a + 270.0 - half;
    }
    const double dist = std::hypot(double(dx), double(dy));
    if (dist > 0) {
        m_dot =
            QPointF(m_centre.x() + dx * m_dotRadius / dist, m_centre.y() + dy * m_dotRadius / dist);
    }
    const double raw = m_sweep * UnitsPerDegree();
    // Truncated toward zero, then clamped: a sweep below the scale gives the minimum.
    const long long v = static_cast<long long>(raw);
    return int(std::clamp<long long>(v, minimum(), maximum()));
}

void QvRotaryKnob::RaiseSliderPos() {
    emit sliderPos(value());
    toolkit::RaiseControlEvent(this, toolkit::EventKind::SliderPos, value());
}

void QvRotaryKnob::SetUserValue(int v) {
    setValue(qBound(minimum(), v, maximum()));
    RaiseSliderPos();
}

void QvRotaryKnob::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractSlider::mousePressEvent(event);
        return;
    }
    // Qt grabs the mouse for the widget under a press until the release.
    m_dragging = true;
    const QPoint pt = event->position().toPoint();
    const int v = ValueFromPoint(pt);
    m_mouseSetting = true;
    setValue(v);
    m_mouseSetting = false;
    update();
    m_pressPoint = pt;
    RaiseSliderPos();
    event->accept();
}

void QvRotaryKnob::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        return;
    }
    const int oldValue = value();
    const int newValue = ValueFromPoint(event->position().toPoint());
    // The gap at the bottom must not let the value jump from one end to the other.
    if (oldValue == maximum() && newValue == minimum()) {
        m_pinMax = true;
    } else if (oldValue == minimum() && newValue == maximum()) {
        m_pinMin = true;
    } else if (m_pinMax && newValue == maximum()) {
        m_pinMax = false;
    } else if (m_pinMin && newValue == minimum()) {
        m_pinMin = false;
    }
    if (m_pinMax || m_pinMin) {
        return;
    }
    m_mouseSetting = true;
    setValue(newValue);
    m_mouseSetting = false;
    RaiseSliderPos();
    update();
}

void QvRotaryKnob::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractSlider::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    m_pinMax = false;
    m_pinMin = false;
}

void QvRotaryKnob::wheelEvent(QWheelEvent* event) {
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    if (notches != 0) {
        SetUserValue(value() + notches);
    }
    event->accept();
}

void QvRotaryKnob::keyPressEvent(QKeyEvent* event) {
    const int range = maximum() - minimum();
    switch (event->key()) {
        case Qt::Key_PageUp:
            SetUserValue(value() + range / 5);
            break;
        case Qt::Key_PageDown:
            SetUserValue(value() - range / 5);
            break;
        case Qt::Key_End:
            SetUserValue(minimum());
            break;
        case Qt::Key_Home:
            SetUserValue(maximum());
            break;
        case Qt::Key_Left:
        case Qt::Key_Down:
            SetUserValue(value() - 1);
            break;
        case Qt::Key_Up:
        case Qt::Key_Right:
            SetUserValue(value() + 1);
            break;
        default:
            event->ignore();
            return;
    }
    event->accept();
}

void QvRotaryKnob::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractSlider::changeEvent(event);
}

void QvRotaryKnob::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled()) {
        p.setOpacity(0.45);
    }
    const double scale = 360.0 - m_includedAngle;
    double sweep = PaintSweep();

    if (m_fgPaintArc != 0 && m_fgRadius > 0) {
        sweep = qBound(0.0, sweep, scale);
        const QRectF circle(m_centre.x() - m_fgRadius, m_centre.y() - m_fgRadius, 2.0 * m_fgRadius,
                            2.0 * m_fgRadius);
        // Qt counts angles counter-clockwise; the scale runs clockwise in screen coordinates.
        const int start16 = int(-StartAngle() * 16.0);
        QColor track = m_colorCircle;
        track.setAlphaF(0.14f);
        p.setPen(QPen(track, m_arcWidth, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(circle, start16, int(-scale * 16.0));
        if (sweep > 0) {
            p.setPen(QPen(m_colorCircle, m_arcWidth, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(circle, start16, int(-sweep * 16.0));
        }
    }

    toolkit::DrawSkin(p, m_bkgndSkin, rect());

    if (toolkit::SkinPtr dot = toolkit::GetSkin(m_dotSkin)) {
        if (sweep >= scale) {
            m_dot = ScaleEndPoint(true);
        } else if (sweep <= 0) {
            m_dot = ScaleEndPoint(false);
        }
        const QSize s = dot->Size();
        dot->Draw(p,
                  QRect(int(m_dot.x() - s.width() / 2.0 + 0.5),
                        int(m_dot.y() - s.height() / 2.0 + 0.5), s.width(), s.height()),
                  0);
    }

    if (toolkit::SkinPtr needle = toolkit::GetSkin(m_slashSkin)) {
        QSize s = m_pointerSize;
        if (s.width() == 0 || s.height() == 0) {
            s = needle->Size();
        }
        const QRect r(m_centre + m_pointerOffset, s);
        double angle = m_includedAngle / 2.0 + sweep;
        if (needle->Size().width() > needle->Size().height()) {
            angle += 90.0;
        }
        p.save();
        p.setOpacity(isEnabled() ? 1.0 : 0.45);
        p.translate(m_centre);
        p.rotate(angle);
        p.translate(-m_centre);
        needle->Draw(p, r, 0);
        p.restore();
    }
}

QSize QvRotaryKnob::sizeHint() const {
    if (toolkit::SkinPtr bg = toolkit::GetSkin(m_bkgndSkin)) {
        return bg->Size();
    }
    return QSize(64, 64);
}

void QvRotaryKnob::focusInEvent(QFocusEvent* event) {
    if (toolkit::PassOnStrayFocus(this, event->reason())) {
        return;
    }
    QAbstractSlider::focusInEvent(event);
}
