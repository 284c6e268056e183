#include "toolkit/Values.h"

#include <QComboBox>
#include <QFile>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QTabBar>
#include <QWidget>
#include <QXmlStreamReader>

#include "VeloraVersion.h"

namespace toolkit {

namespace {

const QString kStringRef = QStringLiteral("@string/");
const QString kColorRef = QStringLiteral("@color/");

// Names as the tables write them: letters, digits and underscores.
const QRegularExpression& ColorRefPattern() {
    static const QRegularExpression re(QStringLiteral("@color/([A-Za-z0-9_]+)"));
    return re;
}

QString StyleSheetColor(const QColor& c) {
    if (c.alpha() == 255) {
        return c.name(QColor::HexRgb);
    }
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .arg(c.alpha());
}

bool HasReference(const QString& text) {
    return text.contains(QLatin1Char('@')) &&
           (text.contains(kStringRef) || text.contains(kColorRef));
}

void ResolveProperties(QObject* object) {
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty prop = meta->property(i);
        if (prop.metaType().id() != QMetaType::QString || !prop.isWritable()) {
            continue;
        }
        const QString value = prop.read(object).toString();
        if (HasReference(value)) {
            prop.write(object, ResolveText(value));
        }
    }
    for (const QByteArray& name : object->dynamicPropertyNames()) {
        const QVariant value = object->property(name.constData());
        if (value.metaType().id() == QMetaType::QString && HasReference(value.toString())) {
            object->setProperty(name.constData(), ResolveText(value.toString()));
        }
    }
}

// Tab captions and combo items are not properties.
template <typename Get, typename Set>
void ResolveItem(Get get, Set set) {
    const QString text = get();
    if (HasReference(text)) {
        set(ResolveText(text));
    }
}

void ResolveItems(QWidget* w) {
    // A tab widget's own bar is one of its children and is reached as such.
    if (auto* bar = qobject_cast<QTabBar*>(w)) {
        for (int i = 0; i < bar->count(); ++i) {
            ResolveItem([&] { return bar->tabText(i); },
                        [&](const QString& t) { bar->setTabText(i, t); });
            ResolveItem([&] { return bar->tabToolTip(i); },
                        [&](const QString& t) { bar->setTabToolTip(i, t); });
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) {
            ResolveItem([&] { return combo->itemText(i); },
                        [&](const QString& t) { combo->setItemText(i, t); });
        }
    }
}

}  // namespace

CValueTable::CValueTable() {
    m_strings.insert(QStringLiteral("ver"), QStringLiteral(VELORA_VERSION));
}

CValueTable& CValueTable::Instance() {
    static CValueTable table;
    return table;
}

bool CValueTable::Load(const QString& resourcePath) {
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("toolkit: value table %s missing", qUtf8Printable(resourcePath));
        return false;
    }
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("resources")) {
        qWarning("toolkit: value table %s is no <resources> file", qUtf8Printable(resourcePath));
        return false;
    }
    while (xml.readNextStartElement()) {
        const QString tag = xml.name().toString();
        const QString name = xml.attributes().value(QLatin1String("name")).toString();
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (name.isEmpty()) {
            continue;
        }
        if (tag == QLatin1String("string")) {
            m_strings.insert(name, text);
        } else if (tag == QLatin1String("color")) {
            const QColor color = QColor::fromString(text.trimmed());
            if (color.isValid()) {
                m_colors.insert(name, color);
            } else {
                qWarning("toolkit: colour %s has no valid value \"%s\"", qUtf8Printable(name),
                         qUtf8Printable(text));
            }
        }
    }
    // The version belongs to the build, whatever the file says.
    m_strings.insert(QStringLiteral("ver"), QStringLiteral(VELORA_VERSION));
    if (xml.hasError()) {
        qWarning("toolkit: value table %s: %s", qUtf8Printable(resourcePath),
                 qUtf8Printable(xml.errorString()));
        return false;
    }
    return true;
}

QColor ResolveColor(const QString& ref) {
    if (ref.startsWith(kColorRef)) {
        return CValueTable::Instance().Color(ref.mid(kColorRef.size()));
    }
    return QColor::fromString(ref.trimmed());
}

QString ResolveText(const QString& text) {
    if (!HasReference(text)) {
        return text;
    }
    if (text.startsWith(kStringRef)) {
        const QString value = CValueTable::Instance().String(text.mid(kStringRef.size()));
        return value.isNull() ? text : value;
    }
    QString out;
    qsizetype last = 0;
    for (const QRegularExpressionMatch& m : ColorRefPattern().globalMatch(text)) {
        const QColor color = CValueTable::Instance().Color(m.captured(1));
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += color.isValid() ? StyleSheetColor(color) : m.captured(0);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

void ResolveValues(QWidget* root) {
    if (!root) {
        return;
    }
    ResolveProperties(root);
    ResolveItems(root);
    for (QWidget* w : root->findChildren<QWidget*>()) {
        ResolveProperties(w);
        ResolveItems(w);
    }
}

}  // namespace toolkit
