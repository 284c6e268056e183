#include "ConnectionStatusPage.h"

#include <algorithm>

#include "CardConnection.h"
#include "ConnectionEvents.h"
#include "Log/Log.h"
#include "toolkit/HostWindow.h"

#define LOG_SOURCE "app\\ConnectionStatusPage"

CConnectionStatusPage::CConnectionStatusPage(CCardConnection* connection)
    : m_connection(connection) {}

void CConnectionStatusPage::Setup(toolkit::CHostWindow& window) {
    m_overlay = window.FindChildByName<QWidget>(QStringLiteral("forbid_device_conn_status"));
    m_message = window.FindChildByName<QLabel>(QStringLiteral("txt_device_conn"));
    m_icon = window.FindChildByName<QWidget>(QStringLiteral("img_device_conn"));
    if (m_message) {
        m_messageHome = m_message->geometry();
    }
    if (m_icon) {
        m_iconHome = m_icon->geometry();
    }
    m_subscription = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { Refresh(); });
    Refresh();
}

void CConnectionStatusPage::Refresh() {
    const bool connected = m_connection && m_connection->IsConnected();
    const bool connecting = !connected && m_connection && m_connection->IsConnecting();
    // Another program holds the card: the panel takes it once that one lets go.
    const std::string holder = connecting ? m_connection->BusyHolder() : std::string();
    if (m_overlay) {
        m_overlay->setVisible(!connected);
        if (!connected) {
            m_overlay->raise();
        }
    }
    if (m_message) {
        if (m_absentText.isNull()) {
            m_absentText = m_message->text();
        }
        QString text = m_absentText;
        if (!holder.empty()) {
            text = QStringLiteral("声卡正被 %1 使用，它用完后自动连接…")
                       .arg(QString::fromStdString(holder));
        } else if (connecting) {
            text = QStringLiteral("正在连接声卡…");
        }
        m_message->setText(text);
        FitMessage();
    }
    const char* state = connected ? "connected" : connecting ? "connecting" : "not connected";
    vlog::Write(vlog::kInfo, "ui", "CConnectionStatusPage::Refresh", LOG_SOURCE, __LINE__,
                "card %s%s", state, holder.empty() ? "" : (", in use by " + holder).c_str());
}

void CConnectionStatusPage::FitMessage() {
    // The layout's pill fits its own texts; a longer one (a holder's name) widens it about its
    // centre, the icon moving with its left end, up to the overlay's width.
    const int room = m_message->width() - m_message->contentsRect().width();
    const int needed = m_message->fontMetrics().horizontalAdvance(m_message->text()) + room +
                       m_messageHome.height();
    const QWidget* overlay = m_message->parentWidget();
    const int widest = overlay ? overlay->width() - 2 * kOverlayMargin : m_messageHome.width();
    QRect fitted = m_messageHome;
    fitted.setWidth(
        std::clamp(needed, m_messageHome.width(), std::max(widest, m_messageHome.width())));
    fitted.moveLeft(m_messageHome.center().x() - fitted.width() / 2);
    m_message->setGeometry(fitted);
    if (m_icon) {
        m_icon->move(m_iconHome.topLeft() + QPoint(fitted.left() - m_messageHome.left(), 0));
    }
}
