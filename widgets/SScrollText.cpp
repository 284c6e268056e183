#include "widgets/SScrollText.h"

#include <QEvent>
#include <QPainter>

SScrollText::SScrollText(QWidget* parent) : QLabel(parent) {}

SScrollText::~SScrollText() {
    StopAnimation();
}

int SScrollText::TextWidth() const {
    SyncText();
    return m_textWidth;
}

int SScrollText::Offset() const {
    SyncText();
    return m_offset;
}

void SScrollText::SyncText() const {
    if (text() != m_measuredText) {
        const_cast<SScrollText*>(this)->Measure();
    }
}

void SScrollText::setRolltype(int type) {
    m_rollType = type;
    Measure();
    update();
}

void SScrollText::setTextAlign(const QString& align) {
    Qt::Alignment flags;
    if (align == QLatin1String("left")) {
        flags = Qt::AlignLeft | Qt::AlignVCenter;
    } else if (align == QLatin1String("right")) {
        flags = Qt::AlignRight | Qt::AlignVCenter;
    } else if (align == QLatin1String("top")) {
        flags = Qt::AlignLeft | Qt::AlignTop;
    } else if (align == QLatin1String("bottom")) {
        flags = Qt::AlignLeft | Qt::AlignBottom;
    } else if (align == QLatin1String("center")) {
        flags = Qt::AlignCenter;
    } else {
        qWarning("SScrollText: bad textAlign \"%s\"", qUtf8Printable(align));
        return;
    }
    m_textAlign = align;
    m_alignFlags = flags;
    update();
}

bool SScrollText::IsAnimating() const {
    SyncText();
    return toolkit::CTimeline::Instance().Contains(this);
}

void SScrollText::Measure() {
    m_measuredText = text();
    const int w = fontMetrics().horizontalAdvance(text());
    if (w <= width()) {
        m_textWidth = 0;
        m_offset = 0;
        StopAnimation();
        return;
    }
    m_textWidth = w;
    m_offset = m_rollType == 1 ? -width() : 0;
    if (isVisible()) {
        m_countdown = m_speed;
        StartAnimation();
    } else {
        StopAnimation();
    }
}

void SScrollText::StartAnimation() {
    toolkit::CTimeline::Instance().Add(this);
}

void SScrollText::StopAnimation() {
    toolkit::CTimeline::Instance().Remove(this);
}

void SScrollText::OnNextFrame() {
    m_countdown -= toolkit::CTimeline::kTickMs;
    if (m_countdown >= 0) {
        return;
    }
    m_countdown = m_speed;
    if (m_textWidth == 0) {
        return;
    }
    ++m_offset;
    if (m_offset > m_textWidth) {
        m_offset = m_rollType == 0 ? 0 : -width();
    }
    update();
}

void SScrollText::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Measure();
}

void SScrollText::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    SyncText();
    if (m_textWidth > 0) {
        m_countdown = m_speed;
        StartAnimation();
    }
}

void SScrollText::hideEvent(QHideEvent* event) {
    StopAnimation();
    QLabel::hideEvent(event);
}

void SScrollText::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        Measure();
    }
}

void SScrollText::paintEvent(QPaintEvent*) {
    SyncText();
    QPainter p(this);
    p.setClipRect(rect());
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    p.setFont(font());
    const QRect r = contentsRect();
    if (m_textWidth == 0) {
        p.drawText(r, int(m_alignFlags) | Qt::TextSingleLine, text());
        return;
    }
    const int x = r.left() - m_offset;
    p.drawText(QRect(x, r.top(), m_textWidth, r.height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    if (m_rollType == 0 && m_textWidth - m_offset < width()) {
        p.drawText(QRect(x + m_textWidth, r.top(), m_textWidth, r.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    }
}

QSize SScrollText::sizeHint() const {
    // Never asks for the whole text's width: the control scrolls instead of growing.
    const QSize s = QLabel::sizeHint();
    return QSize(qMin(s.width(), 200), s.height());
}

QSize SScrollText::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}
