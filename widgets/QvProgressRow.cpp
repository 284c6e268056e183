#include "widgets/QvProgressRow.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

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

bool QvProgressRow::ShowValues(std::span<const int> values) {
    QRegion changed;
    const size_t n = std::min(values.size(), m_meters.size());
    for (size_t i = 0; i < n; ++i) {
        if (QvProgressEX* meter = m_meters[i]) {
            const QRect strip = meter->SetShownValue(values[i]);
            if (!strip.isEmpty()) {
                changed += strip.translated(meter->pos() - pos());
            }
        }
    }
    if (changed.isEmpty()) {
        return false;
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
        p.save();
        p.translate(place.topLeft());
        meter->PaintOn(p, area.translated(-place.topLeft()));
        p.restore();
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
