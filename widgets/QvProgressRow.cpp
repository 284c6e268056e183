#include "widgets/QvProgressRow.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTransform>
#include <QVarLengthArray>
#include <algorithm>

#include "widgets/QvProgressEX.h"

QvProgressRow::QvProgressRow(std::span<QvProgressEX* const> meters)
    : QWidget(meters.empty() ? nullptr : meters.front()->parentWidget()) {
    // The meters' skins cover their rectangles and the mask is those rectangles: nothing beneath
    // needs painting, and the pointer still reaches the meters' tooltips.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    for (QvProgressEX* meter : meters) {
        m_meters.emplace_back(meter);
        meter->installEventFilter(this);
        // A level set on the meter itself (not through ShowValues) still shows.
        connect(meter, &QvProgressEX::valueChanged, this,
                [this, meter] { update(meter->geometry().translated(-pos())); });
    }
    Cover();
    raise();
}

namespace {

// Whether rectangles can make a region as they are (QRegion::setRects does not check): in rows
// from top to bottom and left to right, a row's rectangles of one height, none touching another.
bool BandedInOrder(std::span<const QRect> rects) {
    for (size_t i = 1; i < rects.size(); ++i) {
        const QRect& a = rects[i - 1];
        const QRect& b = rects[i];
        const bool sameRow =
            a.top() == b.top() && a.height() == b.height() && a.right() + 1 < b.left();
        if (!sameRow && b.top() <= a.bottom()) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool QvProgressRow::ShowValues(std::span<const int> values) {
    // The strips are the meters' own, apart from each other: one region made of them at once,
    // instead of a union per meter, for every report.
    // Kept on the stack for a row of up to 16 meters; a longer row still gets every meter.
    QVarLengthArray<QRect, 16> strips;
    const size_t n = std::min(values.size(), m_meters.size());
    for (size_t i = 0; i < n; ++i) {
        if (QvProgressEX* meter = m_meters[i]) {
            const QRect strip = meter->SetShownValue(values[i]);
            if (!strip.isEmpty()) {
                strips.append(strip.translated(meter->pos() - pos()));
            }
        }
    }
    if (strips.isEmpty()) {
        return false;
    }
    QRegion changed;
    if (BandedInOrder(std::span<const QRect>(strips.data(), static_cast<size_t>(strips.size())))) {
        changed.setRects(strips.data(), static_cast<int>(strips.size()));
    } else {
        for (const QRect& strip : strips) {
            changed += strip;
        }
    }
    // Painted now, while the caller runs: a posted repaint would wake the event loop once more
    // for each report.
    repaint(changed);
    return true;
}

void QvProgressRow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect dirty = event->rect();
    for (const auto& meter : m_meters) {
        if (!meter || meter->isHidden()) {
            continue;
        }
        const QRect place = meter->geometry().translated(-pos());
        const QRect area = place & dirty;
        if (area.isEmpty()) {
            continue;
        }
        // Only the origin moves (PaintOn draws pixmaps alone): no save and restore per meter.
        p.setTransform(QTransform::fromTranslate(place.left(), place.top()));
        meter->PaintOn(p, area.translated(-place.topLeft()));
    }
}

bool QvProgressRow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            Cover();
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void QvProgressRow::Cover() {
    QRect bounds;
    for (const auto& meter : m_meters) {
        if (meter && !meter->isHidden()) {
            bounds |= meter->geometry();
        }
    }
    if (bounds.isEmpty()) {
        setVisible(false);
        return;
    }
    QRegion mask;
    for (const auto& meter : m_meters) {
        if (meter && !meter->isHidden()) {
            mask += meter->geometry().translated(-bounds.topLeft());
        }
    }
    setGeometry(bounds);
    setMask(mask);
    setVisible(true);
    update();
}
