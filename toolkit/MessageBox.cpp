#include "toolkit/MessageBox.h"

#include <QLabel>
#include <QPushButton>

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
        cancel->setVisible(type == MB_OKCANCEL);
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

int SMessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
    CMessageBox box(owner, text, caption, type);
    return box.DoModal();
}

}  // namespace toolkit
