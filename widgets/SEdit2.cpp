#include "widgets/SEdit2.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QWheelEvent>

#include "toolkit/ControlEvent.h"
#include "toolkit/Controls.h"
#include "toolkit/Skin.h"

SEdit2::SEdit2(QWidget* parent) : QLineEdit(parent) {}

void SEdit2::setFocusSkin(const QString& s) {
    m_focusSkin = s;
    // The style sheet clears the frame under a focus skin; it reads hasFocusSkin when polishing.
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void SEdit2::setCueColor(const QColor& c) {
    m_cueColor = c;
    QPalette pal = palette();
    pal.setColor(QPalette::PlaceholderText, c);
    setPalette(pal);
}

void SEdit2::setNumber(bool on) {
    m_number = on;
    setValidator(
        on ? new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d*")), this)
           : nullptr);
}

void SEdit2::RaiseStep(int step) {
    emit valueChanging(step);
    toolkit::RaiseControlEvent(this, toolkit::EventKind::ValueChanging, step);
}

void SEdit2::keyPressEvent(QKeyEvent* event) {
    QLineEdit::keyPressEvent(event);  // the edit sees the key first
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!m_wantReturn) {
                RaiseStep(0);
                // Taken here, so Enter does not also press a dialog's default button.
                event->accept();
            }
            break;
        case Qt::Key_Up:
            RaiseStep(+1);
            event->accept();
            break;
        case Qt::Key_Down:
            RaiseStep(-1);
            event->accept();
            break;
        default:
            break;
    }
}

void SEdit2::wheelEvent(QWheelEvent* event) {
    RaiseStep(event->angleDelta().y() > 0 ? +1 : -1);
    QLineEdit::wheelEvent(event);
}

void SEdit2::mouseDoubleClickEvent(QMouseEvent* event) {
    Q_UNUSED(event);
    selectAll();
    home(false);
    end(true);  // selection kept, caret scrolled into view at the end
}

void SEdit2::focusInEvent(QFocusEvent* event) {
    if (m_number && toolkit::PassOnStrayFocus(this, event->reason())) {
        return;
    }
    QLineEdit::focusInEvent(event);
}

void SEdit2::paintEvent(QPaintEvent* event) {
    if (hasFocus() && !m_focusSkin.isEmpty()) {
        QPainter p(this);
        toolkit::DrawSkin(p, m_focusSkin, rect());
    }
    QLineEdit::paintEvent(event);
}
