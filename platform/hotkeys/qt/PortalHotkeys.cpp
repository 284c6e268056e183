#include "PortalHotkeys.h"

#include "Log/Log.h"
#include "PortalShortcuts.h"

#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMetaType>
#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusReply>

#include <unistd.h>

#define LOG_SOURCE "platform\\hotkeys\\PortalHotkeys"

namespace platform::hotkeys {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

QList<PortalShortcut> ShortcutsOf(const QVariant& value) {
    QList<PortalShortcut> list;
    if (value.canConvert<QDBusArgument>()) {
        value.value<QDBusArgument>() >> list;
    }
    return list;
}

}  // namespace

bool CPortalHotkeys::Present() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    return bus.call(get, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

CPortalHotkeys::CPortalHotkeys(QDBusConnection bus) : m_bus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(OnActivated(QDBusMessage)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(OnShortcutsChanged(QDBusMessage)));
    const QString token = QStringLiteral("velora_session_%1").arg(::getpid());
    QVariantMap options{{QStringLiteral("handle_token"), QStringLiteral("velora_create")},
                        {QStringLiteral("session_handle_token"), token}};
    Call(QStringLiteral("CreateSession"), {options}, QStringLiteral("velora_create"),
         SLOT(OnSessionResponse(QDBusMessage)));
}

CPortalHotkeys::~CPortalHotkeys() {
    if (!m_session.isEmpty()) {
        m_bus.call(QDBusMessage::createMethodCall(kService, m_session,
                                                  QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")),
                   QDBus::NoBlock);
    }
}

// Calls a portal method whose answer comes as the Response signal of a Request object; the
// signal is subscribed before the call so that a quick answer is not missed.
QString CPortalHotkeys::Call(const QString& method, const QList<QVariant>& arguments,
                             const QString& token, const char* responseSlot) {
    const QString request = PortalRequestPath(m_bus.baseService(), token);
    m_bus.connect(kService, request, kRequest, QStringLiteral("Response"), this, responseSlot);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    if (!m_bus.send(call)) {
        VLOG_ERROR("hotkey", "CPortalHotkeys::Call", "cannot call %s on the portal",
                   method.toUtf8().constData());
    }
    return request;
}

RegisterResult CPortalHotkeys::Register(int id, uint32_t value) {
    if (PortalTrigger(value).isEmpty()) {
        return RegisterResult::kUnavailable;
    }
    for (const auto& [other, wanted] : m_wanted) {
        if (other != id && wanted == value) {
            return RegisterResult::kHeldByOther;
        }
    }
    m_wanted[id] = value;
    BindLater();
    return RegisterResult::kOk;
}

void CPortalHotkeys::Unregister(int id) {
    if (m_wanted.erase(id)) {
        m_bound.erase(id);
        BindLater();
    }
}

QString CPortalHotkeys::BoundTrigger(int id) const {
    auto it = m_bound.find(id);
    return it == m_bound.end() ? QString() : it->second;
}

// Registrations come in bursts (all favourites at once): one bind for the burst.
void CPortalHotkeys::BindLater() {
    if (!m_bindQueued) {
        m_bindQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { Bind(); }, Qt::QueuedConnection);
    }
}

void CPortalHotkeys::Bind() {
    m_bindQueued = false;
    if (m_session.isEmpty()) {
        return;  // the session's answer binds what is wanted by then
    }
    const QString token = QStringLiteral("velora_bind_%1").arg(++m_requests);
    QVariantMap options{{QStringLiteral("handle_token"), token}};
    Call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(m_session)),
          QVariant::fromValue(PortalBindList(m_wanted)), QString(), options},
         token, SLOT(OnBindResponse(QDBusMessage)));
}

void CPortalHotkeys::OnSessionResponse(const QDBusMessage& message) {
    m_bus.disconnect(kService, message.path(), kRequest, QStringLiteral("Response"), this,
                     SLOT(OnSessionResponse(QDBusMessage)));
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].toUInt() != 0) {
        VLOG_ERROR("hotkey", "CPortalHotkeys::OnSessionResponse",
                   "the portal refused a shortcuts session");
        return;
    }
    m_session = qdbus_cast<QVariantMap>(args[1]).value(QStringLiteral("session_handle")).toString();
    if (!m_wanted.empty()) {
        Bind();
    }
}

void CPortalHotkeys::OnBindResponse(const QDBusMessage& message) {
    m_bus.disconnect(kService, message.path(), kRequest, QStringLiteral("Response"), this,
                     SLOT(OnBindResponse(QDBusMessage)));
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].toUInt() != 0) {
        VLOG_ERROR("hotkey", "CPortalHotkeys::OnBindResponse", "the shortcuts were not bound");
        return;
    }
    m_bound = PortalBoundTriggers(
        ShortcutsOf(qdbus_cast<QVariantMap>(args[1]).value(QStringLiteral("shortcuts"))));
}

void CPortalHotkeys::OnActivated(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != m_session) {
        return;
    }
    const int id = HotkeyIdOfPortalShortcut(args[1].toString());
    if (m_wanted.count(id) && m_handler) {
        m_handler(id);
    }
}

void CPortalHotkeys::OnShortcutsChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != m_session) {
        return;
    }
    m_bound = PortalBoundTriggers(ShortcutsOf(args[1]));
}

}  // namespace platform::hotkeys
