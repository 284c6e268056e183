#include "toolkit/Skin.h"

#include <qdrawutil.h>
#include <QFile>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include "toolkit/Resources.h"

namespace toolkit {

namespace {

QMargins ParseMargins(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() == 1) {
        const int m = parts[0].trimmed().toInt();
        return QMargins(m, m, m, m);
    }
    if (parts.size() == 4) {
        return QMargins(parts[0].trimmed().toInt(), parts[1].trimmed().toInt(),
                        parts[2].trimmed().toInt(), parts[3].trimmed().toInt());
    }
    return {};
}

SkinPtr MakeImageSkin(const QXmlStreamAttributes& attrs) {
    const QString src = attrs.value(QLatin1String("src")).toString();
    const int states = qMax(1, attrs.value(QLatin1String("states")).toInt());
    const bool vertical = attrs.value(QLatin1String("vertical")).toInt() != 0;
    auto skin = std::make_shared<CImageSkin>(
        ResourceRef::Parse(src, QStringLiteral("img")).Path(), states,
        ParseMargins(attrs.value(QLatin1String("margin")).toString()), vertical);
    if (!skin->IsValid()) {
        return nullptr;
    }
    return skin;
}

}  // namespace

CImageSkin::CImageSkin(const QString& resourcePath, int states, const QMargins& margins,
                       bool vertical)
    : m_states(qMax(1, states)), m_margins(margins), m_vertical(vertical) {
    // Resources carry no extension; an SVG is told by its text.
    QFile probe(resourcePath);
    const QByteArray head = probe.open(QIODevice::ReadOnly) ? probe.read(256) : QByteArray();
    if (head.contains("<svg") || head.startsWith("<?xml")) {
        auto svg = std::make_unique<QSvgRenderer>(resourcePath);
        if (svg->isValid()) {
            m_svg = std::move(svg);
        }
    }
    if (!m_svg) {
        m_raster = QPixmap(resourcePath);
    }
    QSize whole = m_svg ? m_svg->defaultSize() : m_raster.size();
    m_stateSize = m_vertical ? QSize(whole.width(), whole.height() / m_states)
                             : QSize(whole.width() / m_states, whole.height());
}

CImageSkin::~CImageSkin() = default;

bool CImageSkin::IsValid() const {
    return (m_svg || !m_raster.isNull()) && !m_stateSize.isEmpty();
}

QSize CImageSkin::Size() const {
    return m_stateSize;
}

bool CImageSkin::IsClass(const QString& tag) const {
    return tag == QLatin1String("imglist") ||
           (tag == QLatin1String("imgframe") && !m_margins.isNull());
}

QPixmap CImageSkin::StatePixmap(int state, const QSize& size) const {
    const quint64 key = (quint64(state) << 48) | (quint64(size.width() & 0xFFFFFF) << 24) |
                        quint64(size.height() & 0xFFFFFF);
    auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd()) {
        return *it;
    }
    QPixmap pm;
    const QRect src =
        m_vertical
            ? QRect(0, state * m_stateSize.height(), m_stateSize.width(), m_stateSize.height())
            : QRect(state * m_stateSize.width(), 0, m_stateSize.width(), m_stateSize.height());
    if (m_svg) {
        QImage img(size, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        // Only the slice of this state is mapped onto the image.
        const QSizeF whole = m_svg->viewBoxF().size();
        const QSizeF def = m_svg->defaultSize();
        const double sx = whole.width() / def.width();
        const double sy = whole.height() / def.height();
        QSvgRenderer* svg = m_svg.get();
        const QRectF oldBox = svg->viewBoxF();
        svg->setViewBox(QRectF(oldBox.x() + src.x() * sx, oldBox.y() + src.y() * sy,
                               src.width() * sx, src.height() * sy));
        svg->render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
        svg->setViewBox(oldBox);
        p.end();
        pm = QPixmap::fromImage(img);
    } else {
        pm = m_raster.copy(src).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (m_cache.size() > 64) {
        m_cache.clear();
    }
    m_cache.insert(key, pm);
    return pm;
}

void CImageSkin::Draw(QPainter& painter, const QRect& rect, int state) const {
    if (!IsValid() || rect.isEmpty()) {
        return;
    }
    state = qBound(0, state, m_states - 1);
    if (m_margins.isNull()) {
        painter.drawPixmap(rect, StatePixmap(state, rect.size()));
        return;
    }
    // Nine parts: the corners keep the image's own size, the edges and middle stretch.
    const QPixmap pm = StatePixmap(state, m_stateSize);
    qDrawBorderPixmap(&painter, rect, m_margins, pm, pm.rect(), m_margins);
}

CSkinPool& CSkinPool::Instance() {
    static CSkinPool pool;
    return pool;
}

CSkinPool::CSkinPool() {
    RegisterSkinClass(QStringLiteral("imglist"), MakeImageSkin);
    RegisterSkinClass(QStringLiteral("imgframe"), MakeImageSkin);
}

void CSkinPool::RegisterSkinClass(const QString& tag, SkinFactory factory) {
    m_factories.insert(tag, std::move(factory));
}

void CSkinPool::Add(const QString& name, SkinPtr skin) {
    if (skin) {
        m_skins.insert(name, std::move(skin));
    }
}

SkinPtr CSkinPool::Get(const QString& name) const {
    return m_skins.value(name);
}

bool CSkinPool::LoadTable(const QString& resourcePath) {
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("toolkit: skin table %s not found", qUtf8Printable(resourcePath));
        return false;
    }
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("skins")) {
        qWarning("toolkit: %s is not a skin table", qUtf8Printable(resourcePath));
        return false;
    }
    while (xml.readNextStartElement()) {
        const QString tag = xml.name().toString();
        const QXmlStreamAttributes attrs = xml.attributes();
        const QString name = attrs.value(QLatin1String("name")).toString();
        auto factory = m_factories.constFind(tag);
        if (factory == m_factories.constEnd()) {
            qWarning("toolkit: unknown skin class %s for %s", qUtf8Printable(tag),
                     qUtf8Printable(name));
        } else if (SkinPtr skin = (*factory)(attrs)) {
            m_skins.insert(name, skin);
        } else {
            qWarning("toolkit: skin %s cannot be loaded", qUtf8Printable(name));
        }
        xml.skipCurrentElement();
    }
    if (xml.hasError()) {
        qWarning("toolkit: skin table %s: %s", qUtf8Printable(resourcePath),
                 qUtf8Printable(xml.errorString()));
        return false;
    }
    return true;
}

bool DrawSkin(QPainter& painter, const QString& name, const QRect& rect, int state) {
    SkinPtr skin = GetSkin(name);
    if (!skin) {
        return false;
    }
    skin->Draw(painter, rect, state);
    return true;
}

}  // namespace toolkit
