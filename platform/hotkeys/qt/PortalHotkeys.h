#pragma once

#include "Hotkeys.h"

#include <QObject>
#include <QString>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>

#include <map>
#include <memory>

namespace platform::hotkeys {

// Hotkeys through the desktop portal's GlobalShortcuts interface on the session bus. The
// portal answers asynchronously and the user may confirm, change or refuse each binding in the
// desktop's own dialog, so Register reports kOk once the wish is sent; what the desktop bound
// is read back from its answers and ShortcutsChanged (BoundTrigger).
class CPortalHotkeys : public QObject, public IHotkeys {
    Q_OBJECT
public:
    // Whether the session bus offers the interface.
    static bool Present();
    explicit CPortalHotkeys(QDBusConnection bus = QDBusConnection::sessionBus());
    ~CPortalHotkeys() override;

    RegisterResult Register(int id, uint32_t value) override;
    void Unregister(int id) override;
    Availability Available() const override { return Availability::kPortal; }
    void SetActivationHandler(std::function<void(int id)> handler) override {
        m_handler = std::move(handler);
    }

    // The desktop's description of the key bound to id; empty when it bound none.
    QString BoundTrigger(int id) const;

private slots:
    void OnSessionResponse(const QDBusMessage& message);
    void OnBindResponse(const QDBusMessage& message);
    void OnActivated(const QDBusMessage& message);
    void OnShortcutsChanged(const QDBusMessage& message);

private:
    QString Call(const QString& method, const QList<QVariant>& arguments, const QString& token,
                 const char* responseSlot);
    void BindLater();
    void Bind();

    QDBusConnection m_bus;
    QString m_session;
    bool m_bindQueued = false;
    int m_requests = 0;
    std::map<int, uint32_t> m_wanted;
    std::map<int, QString> m_bound;
    std::function<void(int id)> m_handler;
};

}  // namespace platform::hotkeys
