#pragma once

#include <QHash>
#include <QMargins>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QXmlStreamAttributes>
#include <functional>
#include <memory>

class QPainter;
class QSvgRenderer;

namespace toolkit {

// A named picture with one or more states (normal, hover, pressed, disabled, ...), drawn into a
// rectangle. Skins come from the skin table of the resources; widgets refer to them by name.
class ISkin {
public:
    virtual ~ISkin() = default;
    virtual int States() const = 0;
    // The size of one state as the image gives it.
    virtual QSize Size() const = 0;
    virtual void Draw(QPainter& painter, const QRect& rect, int state) const = 0;
    // The toolkit's class test for skins: "imglist", "imgframe", "skinani" and their own tags.
    virtual bool IsClass(const QString& tag) const = 0;
};

using SkinPtr = std::shared_ptr<const ISkin>;

// An SVG or raster image holding its states side by side (or stacked when "vertical"), drawn
// stretched, or in nine parts when it has margins so that corners keep their size.
class CImageSkin : public ISkin {
public:
    CImageSkin(const QString& resourcePath, int states, const QMargins& margins, bool vertical);
    ~CImageSkin() override;

    bool IsValid() const;
    int States() const override { return m_states; }
    QSize Size() const override;
    void Draw(QPainter& painter, const QRect& rect, int state) const override;
    bool IsClass(const QString& tag) const override;

private:
    QPixmap StatePixmap(int state, const QSize& size) const;

    int m_states;
    QMargins m_margins;
    bool m_vertical;
    std::unique_ptr<QSvgRenderer> m_svg;
    QPixmap m_raster;
    QSize m_stateSize;
    mutable QHash<quint64, QPixmap> m_cache;  // rendered states by state and size
};

// Creates a skin of one class from the attributes of its element in the skin table.
using SkinFactory = std::function<SkinPtr(const QXmlStreamAttributes& attrs)>;

class CSkinPool {
public:
    static CSkinPool& Instance();

    void RegisterSkinClass(const QString& tag, SkinFactory factory);
    bool HasSkinClass(const QString& tag) const { return m_factories.contains(tag); }

    void Add(const QString& name, SkinPtr skin);
    SkinPtr Get(const QString& name) const;
    // Reads a skin table: <skins><imglist name=".." src="IMG:.." states="4" margin="l,t,r,b"/>
    // ...</skins>, each element named after its skin class. False when the file cannot be read;
    // an element of an unknown class or an image that cannot be loaded is reported and skipped.
    bool LoadTable(const QString& resourcePath);
    void Clear() { m_skins.clear(); }

private:
    CSkinPool();
    QHash<QString, SkinFactory> m_factories;
    QHash<QString, SkinPtr> m_skins;
};

inline SkinPtr GetSkin(const QString& name) {
    return name.isEmpty() ? nullptr : CSkinPool::Instance().Get(name);
}

// Draws the named skin's state over rect (the last state when the skin has fewer); false when
// there is no such skin.
bool DrawSkin(QPainter& painter, const QString& name, const QRect& rect, int state = 0);

}  // namespace toolkit
