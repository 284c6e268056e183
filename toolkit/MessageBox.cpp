#include "toolkit/MessageBox.h"

#include <QLabel>
#include <QPushButton>

#include "toolkit/SImageWnd.h"

namespace toolkit {

CMessageBox::CMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type)
    : CHostDialog(QStringLiteral("LAYOUT:XML_MSGBOX"), owner) {
    const QString shownCaption = caption.isEmpty() ? QStringLiteral("提示") : caption;
    setWindowTitle(shownCaption);
    if (auto* title = FindChildByName<QLabel>(QStringLiteral("msgtitle"))) {
        title->setText(shownCaption);
    }
    if (auto* body = FindChildByName<QLabel>(QStringLiteral("msgtext"))) {
        body->setText(text);
    }
    if (auto* cancel = FindChildByName<QPushButton>(QStringLiteral("btnCancel"))) {
        cancel->setVisible((type & 0x0F) == MB_OKCANCEL);
    }
    m_warning = (type & MB_ICONWARNING) == MB_ICONWARNING;
    if (auto* icon = FindChildByName<SImageWnd>(QStringLiteral("msgicon"))) {
        if (m_warning) {
            icon->setSkin(QStringLiteral("skin_image_tip_warning"));
        }
    }
    if (auto* ok = FindChildByName<QPushButton>(QStringLiteral("btnOK"))) {
        ok->setDefault(true);
        ok->setFocus();
    }
    adjustSize();
}

QString CMessageBox::Caption() const {
    auto* title = FindChildByName<QLabel>(QStringLiteral("msgtitle"));
    return title ? title->text() : QString();
}

QString CMessageBox::Text() const {
    auto* body = FindChildByName<QLabel>(QStringLiteral("msgtext"));
    return body ? body->text() : QString();
}

bool CMessageBox::HasCancel() const {
    auto* cancel = FindChildByName<QPushButton>(QStringLiteral("btnCancel"));
    return cancel && !cancel->isHidden();
}

void CMessageBox::showEvent(QShowEvent* event) {
    // Over the window it speaks for, wherever that is on the screen; without an owner Qt
    // centres the box on the screen.
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    CHostDialog::showEvent(event);
}

int SMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    CMessageBox box(owner, text, caption, type);
    return box.DoModal();
}

}  // namespace toolkit
