#include "toolkit/Theme.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPalette>

#include "toolkit/Skin.h"
#include "toolkit/Values.h"

namespace toolkit {

QString CjkFontFamily() {
    static const char* const kCandidates[] = {"Noto Sans CJK SC", "Source Han Sans SC",
                                              "WenQuanYi Micro Hei", "Noto Sans CJK"};
    const QStringList families = QFontDatabase::families();
    for (const char* name : kCandidates) {
        if (families.contains(QString::fromLatin1(name))) {
            return QString::fromLatin1(name);
        }
    }
    return QApplication::font().family();
}

bool ApplyTheme(QApplication* app) {
    QFont font(CjkFontFamily());
    font.setPixelSize(13);
    font.setHintingPreference(QFont::PreferNoHinting);
    app->setFont(font);

    QPalette pal;
    pal.setColor(QPalette::Window, theme::kWindow);
    pal.setColor(QPalette::WindowText, theme::kText);
    pal.setColor(QPalette::Base, theme::kPanel);
    pal.setColor(QPalette::AlternateBase, theme::kPanelHover);
    pal.setColor(QPalette::Text, theme::kText);
    pal.setColor(QPalette::Button, theme::kPanel);
    pal.setColor(QPalette::ButtonText, theme::kText);
    pal.setColor(QPalette::Highlight, theme::kAccentDim);
    pal.setColor(QPalette::HighlightedText, theme::kWindow);
    pal.setColor(QPalette::ToolTipBase, QColor(0x20, 0x27, 0x31));
    pal.setColor(QPalette::ToolTipText, theme::kText);
    pal.setColor(QPalette::PlaceholderText, theme::kTextDim);
    pal.setColor(QPalette::Mid, theme::kBorder);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, theme::kDisabled);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, theme::kDisabled);
    pal.setColor(QPalette::Disabled, QPalette::Text, theme::kDisabled);
    app->setPalette(pal);

    bool ok = CSkinPool::Instance().LoadTable(QStringLiteral(":/theme/skins.xml"));
    QFile qss(QStringLiteral(":/theme/velora.qss"));
    if (qss.open(QIODevice::ReadOnly)) {
        app->setStyleSheet(ResolveText(QString::fromUtf8(qss.readAll())));
    } else {
        qWarning("toolkit: style sheet missing");
        ok = false;
    }
    return ok;
}

}  // namespace toolkit
