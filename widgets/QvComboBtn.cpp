#include "widgets/QvComboBtn.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "toolkit/Skin.h"

QvComboBtn::QvComboBtn(QWidget* parent) : QPushButton(parent) {}

void QvComboBtn::DropDown(QWidget* popup) {
    if (!popup) {
        return;
    }
    if (m_dropDown && m_dropDown != popup) {
        m_dropDown->deleteLater();
    }
    m_dropDown = popup;
    popup->setWindowFlags(Qt::Popup);
    popup->installEventFilter(this);
    popup->move(mapToGlobal(QPoint(0, height() + 2)));
    popup->show();
}

bool QvComboBtn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dropDown && event->type() == QEvent::Hide) {
        OnDropDownEnd();
    }
    return QPushButton::eventFilter(watched, event);
}

void QvComboBtn::OnDropDownEnd() {
    if (QWidget* host = window()) {
        const QPointF local = host->mapFromGlobal(QCursor::pos());
        QCoreApplication::postEvent(
            host, new QMouseEvent(QEvent::MouseMove, local, QCursor::pos(), Qt::NoButton,
                                  Qt::NoButton, Qt::NoModifier));
    }
    if (m_dropDown) {
        m_dropDown->removeEventFilter(this);
        m_dropDown->deleteLater();
        m_dropDown = nullptr;
    }
}

void QvComboBtn::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    // The drop-down arrow at the right end.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = rect();
    const QRectF arrow(r.right() - 18, r.center().y() - 3, 10, 6);
    if (toolkit::SkinPtr skin = toolkit::GetSkin(QStringLiteral("skin_combo_arrow"))) {
        skin->Draw(p, arrow.toRect(), 0);
        return;
    }
    QPen pen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText),
        1.5);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(arrow.left() + 1, arrow.top() + 1),
               QPointF(arrow.center().x(), arrow.bottom() - 1));
    p.drawLine(QPointF(arrow.center().x(), arrow.bottom() - 1),
               QPointF(arrow.right() - 1, arrow.top() + 1));
}
