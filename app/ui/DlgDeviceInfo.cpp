#include "DlgDeviceInfo.h"

#include <QLabel>
#include <QTextEdit>

CDlgDeviceInfo::CDlgDeviceInfo(const QString& text, QWidget* owner)
    : toolkit::CHostDialog(QStringLiteral("LAYOUT:XML_DLGDEVICEINFO"), owner), m_text(text) {
    setObjectName(QStringLiteral("DlgDeviceInfo"));
    if (auto* label = FindChildByName<QLabel>(QStringLiteral("txt_info"))) {
        label->setText(text.trimmed());
    } else if (auto* edit = FindChildByName<QTextEdit>(QStringLiteral("txt_info"))) {
        edit->setPlainText(text.trimmed());
    }
    Events().OnCommand(QStringLiteral("btnOK"), [this] { EndDialog(toolkit::IDOK); });
    Events().OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDCANCEL); });
}
