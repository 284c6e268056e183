#include "widgets/SGifPlayer.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include "toolkit/Resources.h"

bool SSkinGif::LoadFromResource(const QString& src) {
    m_frames.clear();
    const QByteArray data = toolkit::LoadResource(src, QStringLiteral("gif"));
    if (data.isEmpty()) {
        qWarning("SSkinGif: resource %s not found", qUtf8Printable(src));
        return false;
    }
    return LoadFromData(data);
}

namespace {

// The delay of every frame as the file gives it, in hundredths of a second. Qt's reader turns
// delays of 0 and 1 into 100 ms, which would hide the zero delays the player gives 90 ms, so the
// graphic control blocks are read here. Empty when the data is not a well-formed GIF.
QVector<int> ReadGifDelays(const QByteArray& gif) {
    QVector<int> delays;
    const auto* d = reinterpret_cast<const unsigned char*>(gif.constData());
    const qsizetype n = gif.size();
    if (n < 13 || !(gif.startsWith("GIF87a") || gif.startsWith("GIF89a"))) {
        return {};
    }
    qsizetype pos = 13;
    if (d[10] & 0x80) {
        pos += 3 * (qsizetype(2) << (d[10] & 7));  // global colour table
    }
    auto skipSubBlocks = [&] {
        while (pos < n && d[pos] != 0) {
            pos += 1 + d[pos];
        }
        ++pos;  // the terminator
    };
    int pending = 0;
    while (pos < n) {
        const unsigned char block = d[pos++];
        if (block == 0x3B) {  // trailer
            break;
        }
        if (block == 0x21 && pos < n) {  // extension
            const unsigned char label = d[pos++];
            if (label == 0xF9 && pos + 4 < n && d[pos] >= 4) {
                pending = d[pos + 2] | (d[pos + 3] << 8);
            }
            skipSubBlocks();
        } else if (block == 0x2C && pos + 9 <= n) {  // image
            const unsigned char packed = d[pos + 8];
            pos += 9;
            if (packed & 0x80) {
                pos += 3 * (qsizetype(2) << (packed & 7));  // local colour table
            }
            ++pos;  // LZW minimum code size
            skipSubBlocks();
            delays.append(pending);
            pending = 0;
        } else {
            return {};
        }
    }
    return delays;
}

}  // namespace

bool SSkinGif::LoadFromData(const QByteArray& data) {
    m_frames.clear();
    const QVector<int> delays = ReadGifDelays(data);
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    for (int i = 0;; ++i) {
        QImage image = reader.read();
        if (image.isNull()) {
            break;
        }
        Frame f;
        f.image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Other animated formats: the reader's delay of the frame just read.
        f.delayCs = i < delays.size() ? delays[i] : qMax(0, reader.nextImageDelay()) / 10;
        m_frames.append(f);
    }
    return !m_frames.isEmpty();
}

int SSkinGif::FrameDelay(int i) const {
    return (i >= 0 && i < m_frames.size()) ? m_frames[i].delayCs : 0;
}

QSize SSkinGif::Size() const {
    return m_frames.isEmpty() ? QSize(0, 0) : m_frames.first().image.size();
}

void SSkinGif::Draw(QPainter& painter, const QRect& rect, int state) const {
    if (m_frames.isEmpty()) {
        return;
    }
    painter.drawImage(rect, m_frames.at(qBound(0, state, int(m_frames.size()) - 1)).image);
}

bool SSkinGif::IsClass(const QString& tag) const {
    return tag == QLatin1String("gif") || tag == QLatin1String("skinani");
}

toolkit::SkinPtr SSkinGif::Create(const QXmlStreamAttributes& attrs) {
    auto skin = std::make_shared<SSkinGif>();
    skin->LoadFromResource(attrs.value(QLatin1String("src")).toString());
    return skin;
}

SGifPlayer::SGifPlayer(QWidget* parent) : QWidget(parent) {}

SGifPlayer::~SGifPlayer() {
    toolkit::CTimeline::Instance().Remove(this);
}

void SGifPlayer::setSkin(const QString& name) {
    toolkit::SkinPtr skin = toolkit::GetSkin(name);
    if (!skin || !skin->IsClass(QStringLiteral("skinani"))) {
        qWarning("SGifPlayer: skin %s is not a multi-frame skin", qUtf8Printable(name));
        return;
    }
    m_skinName = name;
    SetSkin(std::static_pointer_cast<const SSkinGif>(skin));
}

void SGifPlayer::SetSkin(std::shared_ptr<const SSkinGif> skin) {
    m_skin = std::move(skin);
    m_frame = 0;
    m_countdown = FrameTime(0);
    toolkit::CTimeline::Instance().Remove(this);
    if (isVisible() && m_skin && m_skin->FrameCount() > 1) {
        toolkit::CTimeline::Instance().Add(this);
    }
    updateGeometry();
    update();
}

int SGifPlayer::FrameTime(int i) const {
    if (!m_skin) {
        return 0;
    }
    const int ms = m_skin->FrameDelay(i) * 10;
    return (ms == 0 && m_skin->FrameCount() >= 2) ? 90 : ms;
}

bool SGifPlayer::IsAnimating() const {
    return toolkit::CTimeline::Instance().Contains(this);
}

void SGifPlayer::OnNextFrame() {
    if (!m_skin || m_skin->FrameCount() == 0) {
        return;
    }
    m_countdown -= toolkit::CTimeline::kTickMs;
    if (m_countdown <= 0) {
        m_frame = (m_frame + 1) % m_skin->FrameCount();
        update();
        m_countdown = FrameTime(m_frame);
    }
}

void SGifPlayer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_skin && m_skin->FrameCount() > 1) {
        m_countdown = FrameTime(m_frame);
        toolkit::CTimeline::Instance().Add(this);
    }
}

void SGifPlayer::hideEvent(QHideEvent* event) {
    toolkit::CTimeline::Instance().Remove(this);
    QWidget::hideEvent(event);
}

void SGifPlayer::paintEvent(QPaintEvent*) {
    if (!m_skin) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    m_skin->Draw(p, rect(), m_frame);
}

QSize SGifPlayer::sizeHint() const {
    return m_skin ? m_skin->Size() : QSize(0, 0);
}
