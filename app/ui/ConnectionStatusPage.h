#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "ccm_util/EventBus.h"
#include "toolkit/PageController.h"

class CCardConnection;

// Shows whether the card is connected: the grey "not connected" overlay over the card's
// controls comes and goes with the card, and says "connecting" while the card has not yet
// answered the start-up exchange, or who holds the card while the panel waits for it.
class CConnectionStatusPage : public toolkit::IPageController {
public:
    explicit CConnectionStatusPage(CCardConnection* connection);
    void Setup(toolkit::CHostWindow& window) override;
    bool OnWindowMessage(uint32_t, ccm_util::WPARAM, ccm_util::LPARAM) override { return false; }
    bool OnControlEvent(const toolkit::ControlEvent&) override { return false; }

    void Refresh();

private:
    void FitMessage();

    static constexpr int kOverlayMargin = 12;
    CCardConnection* m_connection;
    QPointer<QWidget> m_overlay;
    QPointer<QLabel> m_message;
    QPointer<QWidget> m_icon;
    QRect m_messageHome;  // where the layout puts the message and its icon
    QRect m_iconHome;
    QString m_absentText;  // the layout's "no card" text, shown again once connecting failed
    ccm_util::CEventSubscription m_subscription;
};
