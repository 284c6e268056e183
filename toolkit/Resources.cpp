#include "toolkit/Resources.h"

#include <QFile>

namespace toolkit {

ResourceRef ResourceRef::Parse(const QString& ref, const QString& defaultType) {
    ResourceRef r;
    const qsizetype colon = ref.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        r.type = defaultType.toLower();
        r.name = ref.trimmed();
        return r;
    }
    r.type = ref.left(colon).trimmed().toLower();
    qsizetype start = colon + 1;
    while (start < ref.size() && ref.at(start) == QLatin1Char(':')) {
        ++start;
    }
    r.name = ref.mid(start).trimmed();
    return r;
}

QString ResourceRef::Path() const {
    return QStringLiteral(":/%1/%2").arg(type, name);
}

QByteArray LoadResource(const QString& ref, const QString& defaultType) {
    QFile file(ResourceRef::Parse(ref, defaultType).Path());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

}  // namespace toolkit
