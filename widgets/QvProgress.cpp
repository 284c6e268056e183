#include "widgets/QvProgress.h"

#include <QPainter>
#include <QTimerEvent>

QvProgress::QvProgress(QWidget* parent) : SProgress(parent) {}

void QvProgress::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBar(p, m_value);
}

QvVumeter::QvVumeter(QWidget* parent) : QvProgress(parent) {}

QvVuGroup::QvVuGroup(QWidget* parent) : QWidget(parent) {}

const QList<QPointer<QvVumeter>>& QvVuGroup::Meters() {
    if (!m_collected) {
        m_collected = true;
        for (QvVumeter* meter : findChildren<QvVumeter*>()) {
            m_meters.append(meter);
        }
        m_buffer.assign(size_t(m_meters.size()), 0);
    }
    return m_meters;
}

void QvVuGroup::OnCountdownExpired() {
    const auto& meters = Meters();
    if (m_source && m_source->IsActive()) {
        std::fill(m_buffer.begin(), m_buffer.end(), 0);
        const int filled =
            m_buffer.empty() ? 0 : m_source->Fill(m_buffer.data(), int(m_buffer.size()));
        for (int i = 0; i < meters.size(); ++i) {
            if (meters[i]) {
                meters[i]->setValue(i < filled ? m_buffer[size_t(i)] : 0);
            }
        }
        m_countdown = 100;
    } else {
        for (const auto& meter : meters) {
            if (meter) {
                meter->setValue(0);  // no repaint when it shows 0 already
            }
        }
        m_countdown = 2000;
    }
    if (m_timer.isActive()) {
        m_timer.start(m_countdown, this);
    }
}

void QvVuGroup::showEvent(QShowEvent* event) {
    m_timer.start(m_countdown, this);
    QWidget::showEvent(event);
}

void QvVuGroup::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

void QvVuGroup::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        OnCountdownExpired();
        return;
    }
    QWidget::timerEvent(event);
}
