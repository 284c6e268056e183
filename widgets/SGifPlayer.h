#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>
#include <QWidget>
#include <memory>

#include "toolkit/Skin.h"
#include "toolkit/Timeline.h"

// "gif" (answers to "skinani"): a multi-frame skin read from an animated image resource, with
// each frame's delay in hundredths of a second. "src" is "TYPE:name" or a bare name of type "gif".
class SSkinGif : public toolkit::ISkin {
public:
    struct Frame {
        QImage image;  // 32-bit premultiplied alpha
        int delayCs = 0;
    };

    SSkinGif() = default;
    // Loads from the resources; a missing resource leaves the skin with no frames.
    bool LoadFromResource(const QString& src);
    bool LoadFromData(const QByteArray& data);
    void SetFrames(QVector<Frame> frames) { m_frames = std::move(frames); }

    int FrameCount() const { return int(m_frames.size()); }
    int FrameDelay(int i) const;  // hundredths of a second
    const QImage& FrameImage(int i) const { return m_frames.at(i).image; }

    int States() const override { return qMax(1, FrameCount()); }
    QSize Size() const override;
    void Draw(QPainter& painter, const QRect& rect, int state) const override;
    bool IsClass(const QString& tag) const override;

    // The skin-table factory for the "gif" class.
    static toolkit::SkinPtr Create(const QXmlStreamAttributes& attrs);

private:
    QVector<Frame> m_frames;
};

// "gifplayer": plays a multi-frame skin while it is shown; a skin with one frame is drawn and
// never animated. A frame's time is its delay x 10 ms, at least 90 ms when the delay is 0.
class SGifPlayer : public QWidget, public toolkit::ITimelineHandler {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "gifplayer")
    Q_PROPERTY(QString skin READ skin WRITE setSkin)
public:
    explicit SGifPlayer(QWidget* parent = nullptr);
    ~SGifPlayer() override;

    QString skin() const { return m_skinName; }
    // A skin that is not a multi-frame skin is ignored: the player stays empty.
    void setSkin(const QString& name);
    void SetSkin(std::shared_ptr<const SSkinGif> skin);

    int FrameIndex() const { return m_frame; }
    int Countdown() const { return m_countdown; }
    // Milliseconds that frame i stays.
    int FrameTime(int i) const;
    bool IsAnimating() const;

    void OnNextFrame() override;
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_skinName;
    std::shared_ptr<const SSkinGif> m_skin;
    int m_frame = 0;
    int m_countdown = 0;
};
