#pragma once

#include <QLocale>
#include <QString>

namespace toolkit {

// Installs Qt's own translations (qtbase: the edit menus, file and colour dialogs, message box
// buttons) so that they speak the program's language. The program's texts are Chinese, so the
// system's locale is used when it is a Chinese one (zh_TW keeps traditional characters) and
// zh_CN otherwise. Returns the locale name loaded ("zh_CN"), empty when no translation file was
// found in folder (Qt's translations folder when empty).
QString InstallQtTranslations(const QLocale& system = QLocale::system(),
                              const QString& folder = QString());

}  // namespace toolkit
