#include "toolkit/Markup.h"

#include <QPushButton>
#include <QStringList>
#include <QXmlStreamReader>

#include "toolkit/Controls.h"

namespace toolkit {

namespace {

// "size:20,bold:1" as style-sheet declarations; unknown parts are left out.
QString FontStyle(const QString& font) {
    QString style;
    for (const QString& part : font.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char(':'), 0, 0).trimmed();
        const QString value = part.section(QLatin1Char(':'), 1).trimmed();
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok) {
            continue;
        }
        if (key == QLatin1String("size") && number > 0 && number < 200) {
            style += QStringLiteral("font-size: %1px;").arg(number);
        } else if (key == QLatin1String("bold")) {
            style += number ? QStringLiteral("font-weight: bold;") : QString();
        }
    }
    return style;
}

QString InsetStyle(const QString& inset) {
    const QStringList parts = inset.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return {};
    }
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || v[i] < 0 || v[i] > 100) {
            return {};
        }
    }
    // Style sheets take top, right, bottom, left.
    return QStringLiteral("padding: %1px %2px %3px %4px;").arg(v[1]).arg(v[2]).arg(v[3]).arg(v[0]);
}

}  // namespace

QPushButton* CreateImgBtnFromMarkup(const QString& markup, QWidget* parent) {
    QXmlStreamReader xml(markup);
    while (!xml.atEnd() && !xml.isStartElement()) {
        xml.readNext();
    }
    if (!xml.isStartElement() || xml.name() != QLatin1String("imgbtn")) {
        return nullptr;
    }
    const QXmlStreamAttributes attrs = xml.attributes();
    // The rest must be well-formed too: a broken tail means the whole is not to be trusted.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    if (xml.hasError()) {
        return nullptr;
    }
    auto* button = new QPushButton(parent);
    const int id = attrs.value(QLatin1String("id")).toInt();
    SetControlId(button, id);
    button->setObjectName(QStringLiteral("pad_%1").arg(id));
    button->setProperty("class", attrs.value(QLatin1String("class")).toString());
    const QString text = attrs.value(QLatin1String("text")).toString();
    // The markup's text is shown as written: a button would take "&" for a mnemonic mark.
    button->setText(QString(text).replace(QLatin1Char('&'), QLatin1String("&&")));
    QString tip = attrs.value(QLatin1String("tip")).toString();
    if (tip.isEmpty() && attrs.value(QLatin1String("dotted")) == QLatin1String("1")) {
        tip = text;  // a long name is cut on the pad and whole in its tip
    }
    button->setToolTip(tip);
    const QString style = FontStyle(attrs.value(QLatin1String("font")).toString()) +
                          InsetStyle(attrs.value(QLatin1String("inset")).toString());
    if (!style.isEmpty()) {
        button->setStyleSheet(style);
    }
    if (attrs.value(QLatin1String("focusable")) == QLatin1String("0")) {
        button->setFocusPolicy(Qt::NoFocus);
    }
    button->setMinimumHeight(28);
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    WireControl(button);
    return button;
}

}  // namespace toolkit
