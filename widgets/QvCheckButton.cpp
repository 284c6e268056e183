#include "widgets/QvCheckButton.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

#include "toolkit/Skin.h"

void CTwoStateLook::SetMultiTip(const QString& v) {
    multiTip = v;
    if (On(multiTip)) {
        m_button->setToolTip(m_button->isChecked() ? tip2 : tip1);
    }
}

void CTwoStateLook::SetTip(int which, const QString& v) {
    (which == 1 ? tip1 : tip2) = v;
    if (On(multiTip) && m_button->isChecked() == (which == 2)) {
        m_button->setToolTip(v);
    }
}

void CTwoStateLook::SetMultiText(const QString& v) {
    multiText = v;
    if (On(multiText)) {
        m_button->setText(m_button->isChecked() ? text2 : text1);
    }
}

void CTwoStateLook::SetText(int which, const QString& v) {
    (which == 1 ? text1 : text2) = v;
    if (On(multiText) && m_button->isChecked() == (which == 2)) {
        m_button->setText(v);
    }
}

void CTwoStateLook::SetMultiColor(const QString& v) {
    multiColor = v;
    if (On(multiColor)) {
        textColor = m_button->isChecked() ? color2 : color1;
        m_button->update();
    }
}

void CTwoStateLook::SetColor(int which, const QColor& c) {
    (which == 1 ? color1 : color2) = c;
    if (On(multiColor) && m_button->isChecked() == (which == 2)) {
        textColor = c;
        m_button->update();
    }
}

void CTwoStateLook::ApplyState() {
    const bool checked = m_button->isChecked();
    if (On(multiTip)) {
        m_button->setToolTip(checked ? tip2 : tip1);
    }
    if (On(multiText)) {
        m_button->setText(checked ? text2 : text1);
    }
    if (On(multiColor)) {
        textColor = checked ? color2 : color1;
    }
    m_button->update();
}

int CTwoStateLook::SkinState() const {
    int state = 0;
    if (!m_button->isEnabled()) {
        state = 3;
    } else if (m_button->isDown()) {
        state = 2;
    } else if (m_button->underMouse()) {
        state = 1;
    }
    return m_button->isChecked() ? state + 4 : state;
}

void CTwoStateLook::Paint(const QString& skin, const QString& focusSkin,
                          Qt::Alignment align) const {
    QPainter p(m_button);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r = m_button->rect();
    toolkit::DrawSkin(p, skin, r, SkinState());
    if (m_button->hasFocus()) {
        toolkit::DrawSkin(p, focusSkin, r);
    }
    QColor color =
        textColor.isValid() ? textColor : m_button->palette().color(QPalette::ButtonText);
    if (!m_button->isEnabled()) {
        color = m_button->palette().color(QPalette::Disabled, QPalette::ButtonText);
    }
    p.setPen(color);
    p.setFont(m_button->font());
    p.drawText(r.adjusted(6, 0, -6, 0), int(align) | Qt::TextSingleLine, m_button->text());
}

namespace {
QSize TwoStateSizeHint(const QAbstractButton* b, const QString& skin) {
    const QFontMetrics fm(b->font());
    QSize s(fm.horizontalAdvance(b->text()) + 28, qMax(28, fm.height() + 12));
    if (toolkit::SkinPtr sk = toolkit::GetSkin(skin)) {
        s = s.expandedTo(sk->Size());
    }
    return s;
}
}  // namespace

QvCheckButton::QvCheckButton(QWidget* parent) : QCheckBox(parent) {
    setCheckable(true);
    setAttribute(Qt::WA_Hover);  // repaint on enter and leave for the hover state
    connect(this, &QAbstractButton::toggled, this, [this] { m_look.ApplyState(); });
}

QSize QvCheckButton::sizeHint() const {
    return TwoStateSizeHint(this, m_skin);
}

bool QvCheckButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void QvCheckButton::nextCheckState() {
    // Without autoCheck a click only sends the command; the page sets the state.
    if (m_autoCheck != 0) {
        setChecked(!isChecked());
    }
}

void QvCheckButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        if (m_autoCheck != 0) {
            setChecked(!isChecked());
        }
        emit clicked(isChecked());
    }
    event->accept();  // every other key is consumed without effect
}

void QvCheckButton::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
}

void QvCheckButton::paintEvent(QPaintEvent*) {
    m_look.Paint(m_skin, m_focusSkin, m_align);
}

QvRadioButton::QvRadioButton(QWidget* parent) : QRadioButton(parent) {
    setAttribute(Qt::WA_Hover);
    connect(this, &QAbstractButton::toggled, this, [this] { m_look.ApplyState(); });
}

QSize QvRadioButton::sizeHint() const {
    return TwoStateSizeHint(this, m_skin);
}

bool QvRadioButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void QvRadioButton::nextCheckState() {
    if (m_autoCheck != 0 && !isChecked()) {
        setChecked(true);  // Qt's radio rules uncheck the rest of its group
    }
}

void QvRadioButton::focusInEvent(QFocusEvent* event) {
    QRadioButton::focusInEvent(event);
    if (m_autoCheck != 0 && !isChecked()) {
        setChecked(true);
    }
    update();
}

void QvRadioButton::paintEvent(QPaintEvent*) {
    m_look.Paint(m_skin, m_focusSkin, m_align);
}
