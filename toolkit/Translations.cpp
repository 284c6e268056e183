#include "toolkit/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace toolkit {

QString InstallQtTranslations(const QLocale& system, const QString& folder) {
    static QPointer<QTranslator> installed;  // owned by the application
    const QString dir =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;

    auto* translator = new QTranslator(QCoreApplication::instance());
    QLocale used = system;
    bool loaded = system.language() == QLocale::Chinese &&
                  translator->load(used, QStringLiteral("qtbase"), QStringLiteral("_"), dir);
    if (!loaded) {
        used = QLocale(QLocale::Chinese, QLocale::China);
        loaded = translator->load(used, QStringLiteral("qtbase"), QStringLiteral("_"), dir);
    }
    if (!loaded) {
        qWarning("toolkit: no Qt translation in %s", qUtf8Printable(dir));
        delete translator;
        return {};
    }
    // Called again (tests), the new one replaces the old.
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return used.name();
}

}  // namespace toolkit
