#include "widgets/SMoveThumb.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include "toolkit/ControlEvent.h"

SMoveThumb::SMoveThumb(QWidget* parent) : QWidget(parent) {
    resize(sizeHint());
    if (parent) {
        parent->installEventFilter(this);
        m_area = parent->rect();
    }
}

void SMoveThumb::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ParentChange && parentWidget()) {
        parentWidget()->installEventFilter(this);
        LayoutIn(parentWidget()->rect());
    }
    QWidget::changeEvent(event);
}

bool SMoveThumb::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        LayoutIn(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void SMoveThumb::setXFloat(double f) {
    m_xFloat = f;
    Reposition();
}

void SMoveThumb::setYFloat(double f) {
    m_yFloat = f;
    Reposition();
}

void SMoveThumb::setCenterColor(const QColor& c) {
    m_centerColor = c;
    update();
}

QColor SMoveThumb::RimColor() const {
    return QColor((m_centerColor.red() + 57) & 0xFF, (m_centerColor.green() + 57) & 0xFF,
                  (m_centerColor.blue() + 57) & 0xFF, m_centerColor.alpha());
}

void SMoveThumb::LayoutIn(const QRect& area) {
    m_area = area;
    Reposition();
}

void SMoveThumb::Reposition() {
    const QSize s = size().isEmpty() ? sizeHint() : size();
    const int left = m_area.left() + int(m_area.width() * m_xFloat + 0.5);
    const int top = m_area.top() + int(m_area.height() * m_yFloat + 0.5);
    setGeometry(QRect(QPoint(left, top), s));
}

void SMoveThumb::MoveCentreTo(int x, int y) {
    const QSize s = size();
    const QPoint topLeft(x - s.width() / 2, y - s.height() / 2);
    move(topLeft);
    if (m_area.width() > 0)
        m_xFloat = double(topLeft.x() - m_area.left()) / m_area.width();
    if (m_area.height() > 0)
        m_yFloat = double(topLeft.y() - m_area.top()) / m_area.height();
}

void SMoveThumb::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_grab = event->position().toPoint();  // the press point relative to the top-left
    setCursor(Qt::SizeAllCursor);
    event->accept();
}

void SMoveThumb::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        return;
    }
    const QPoint inParent = mapToParent(event->position().toPoint());
    const QPoint proposed(m_canXMove ? inParent.x() - m_grab.x() : x(),
                          m_canYMove ? inParent.y() - m_grab.y() : y());
    emit thumbMoving(proposed);
    toolkit::RaiseControlEvent(this, toolkit::EventKind::ThumbMoving, 0, proposed);
}

void SMoveThumb::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        unsetCursor();
    }
    QWidget::mouseReleaseEvent(event);
}

void SMoveThumb::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QRadialGradient g(r.center(), r.width() / 2.0);
    g.setColorAt(0.0, m_centerColor);
    g.setColorAt(1.0, RimColor());
    p.setBrush(g);
    p.setPen(QPen(m_centerColor, 1));
    p.drawEllipse(r);
}
