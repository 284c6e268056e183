#include "sound/ui/SetVolumeDlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>

#include "SoundEvents.h"
#include "toolkit/WindowEnd.h"
#include "widgets/QvSlider.h"

namespace sound::ui {

namespace {
QPointer<CSetVolumeDlg> g_current;
}

CSetVolumeDlg* CSetVolumeDlg::Current() {
    return g_current.data();
}

CSetVolumeDlg* CSetVolumeDlg::Show(std::optional<QPoint> anchor, int volume, QWidget* owner) {
    if (g_current) {
        g_current->ClosePopup();
    }
    auto* popup = new CSetVolumeDlg(volume);
    if (!popup->m_slider) {
        delete popup;
        return nullptr;
    }
    QPoint topLeft;
    if (anchor) {
        topLeft = QPoint(anchor->x() - kWidth / 2, anchor->y() - kHeight);
    } else {
        QRect area = owner ? owner->frameGeometry() : QRect();
        if (area.isEmpty() && QGuiApplication::primaryScreen()) {
            area = QGuiApplication::primaryScreen()->availableGeometry();
        }
        topLeft = area.center() - QPoint(kWidth / 2, kHeight / 2);
    }
    popup->move(topLeft);
    popup->show();
    popup->raise();
    popup->activateWindow();
    g_current = popup;
    return popup;
}

CSetVolumeDlg::CSetVolumeDlg(int volume)
    : CHostWindow(QStringLiteral("LAYOUT:XML_SET_VOLUME"), nullptr,
                  Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_slider(FindChildByName<QvSlider>(QStringLiteral("slider_sound_volume"))),
      m_volume(qBound(0, volume, 100)) {
    setObjectName(QStringLiteral("SetVolumeDlg"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kWidth, kHeight);
    if (m_slider) {
        m_slider->setRange(0, 100);
        m_slider->setValue(m_volume);
        connect(m_slider, &SSliderBar::sliderPos, this, [this](int v) { SetVolume(v); });
    }
    // Presses anywhere in the program: one outside the popup closes it.
    qApp->installEventFilter(this);
}

CSetVolumeDlg::~CSetVolumeDlg() {
    qApp->removeEventFilter(this);
}

void CSetVolumeDlg::SetVolume(int volume) {
    m_volume = qBound(0, volume, 100);
    ccm_util::EventBus::Instance().Fire(EventVolumeChange(m_volume));
}

void CSetVolumeDlg::Step(int direction) {
    const int next = qBound(0, m_volume + (direction > 0 ? 1 : -1), 100);
    if (next == m_volume) {
        return;
    }
    if (m_slider) {
        m_slider->setValue(next);
    }
    SetVolume(next);
}

void CSetVolumeDlg::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    const int steps = notches != 0 ? notches : (event->angleDelta().y() > 0 ? 1 : -1);
    for (int i = 0; i < qAbs(steps); ++i) {
        Step(steps);
    }
    event->accept();
}

void CSetVolumeDlg::ClosePopup() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    qApp->removeEventFilter(this);
    toolkit::DestroyWindow(this);
}

bool CSetVolumeDlg::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton) &&
                !frameGeometry().contains(mouse->globalPosition().toPoint())) {
                ClosePopup();
            }
            break;
        }
        case QEvent::Wheel:
            // The wheel over the slider steps the popup's way, one per notch.
            if (watched == m_slider) {
                wheelEvent(static_cast<QWheelEvent*>(event));
                return true;
            }
            break;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::AltModifier)) {
                ClosePopup();
            }
            break;
        }
        case QEvent::WindowDeactivate:
            if (watched == this) {
                ClosePopup();
            }
            break;
        default:
            break;
    }
    return CHostWindow::eventFilter(watched, event);
}

}  // namespace sound::ui
