// The portal service against a stand-in portal on a private session bus.
#include <gtest/gtest.h>

#include "PumpUntil.h"
#include "../e2e/ChildProcess.h"
#include "HotkeyValue.h"
#include "PortalHotkeys.h"
#include "PortalShortcuts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMetaType>
#include <QtDBus/QDBusObjectPath>

#include <filesystem>
#include <functional>

using namespace platform::hotkeys;

namespace {

const QString kDesktop = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kSession = QStringLiteral("/org/freedesktop/portal/desktop/session/1_1/s");

}  // namespace

// Answers as a desktop's portal does: the handle now, the result later as a Request's Response.
// Its user changes every preferred key to one of their own.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus)) {}
    QList<PortalShortcut> bound;
    int binds = 0;

    void Emit(const QString& path, const QString& interface, const QString& name,
              const QList<QVariant>& args) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(args);
        m_bus.send(signal);
    }

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& call) {
        const QString request =
            PortalRequestPath(call.service(), options["handle_token"].toString());
        Respond(request, {{"session_handle", kSession}});
        return QDBusObjectPath(request);
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session,
                                  const QList<platform::hotkeys::PortalShortcut>& shortcuts,
                                  const QString&, const QVariantMap& options,
                                  const QDBusMessage& call) {
        ++binds;
        bound.clear();
        for (PortalShortcut s : shortcuts) {
            if (session.path() == kSession) {
                s.properties["trigger_description"] =
                    "user:" + s.properties["preferred_trigger"].toString();
                bound.append(s);
            }
        }
        const QString request =
            PortalRequestPath(call.service(), options["handle_token"].toString());
        Respond(request, {{"shortcuts", QVariant::fromValue(bound)}});
        return QDBusObjectPath(request);
    }

private:
    void Respond(const QString& request, const QVariantMap& results) {
        QTimer::singleShot(0, this, [this, request, results] {
            Emit(request, "org.freedesktop.portal.Request", "Response", {0u, results});
        });
    }
    QDBusConnection m_bus;
};

TEST(PortalHotkeys, BindsWhatIsRegisteredReadsBackTheUsersKeysAndDeliversActivations) {
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    ChildProcess daemon({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, {});
    const QString address = QString::fromStdString(daemon.ReadLine(10000)).trimmed();
    if (address.isEmpty()) {
        GTEST_SKIP() << "no bus could be started: " << daemon.Stderr();
    }
    static int argc = 1;
    static char name[] = "test_hotkeys";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        new QCoreApplication(argc, argv);
    }
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();

    QDBusConnection portalBus = QDBusConnection::connectToBus(address, "portal");
    FakePortal portal(portalBus);
    ASSERT_TRUE(portalBus.registerService("org.freedesktop.portal.Desktop"));
    ASSERT_TRUE(portalBus.registerObject(kDesktop, &portal, QDBusConnection::ExportAllSlots));
    {
        CPortalHotkeys hotkeys(QDBusConnection::connectToBus(address, "client"));
        std::vector<int> fired;
        hotkeys.SetActivationHandler([&](int id) { fired.push_back(id); });

        // Registered before the session exists, bound in one go once it does.
        ASSERT_EQ(hotkeys.Register(10003, MakeHotKey('E', kHotkeyCtrl)), RegisterResult::kOk);
        ASSERT_EQ(hotkeys.Register(14000, MakeHotKey(0x60, 0)), RegisterResult::kOk);
        ASSERT_TRUE(PumpUntil([&] { return !hotkeys.BoundTrigger(14000).isEmpty(); }));
        EXPECT_EQ(portal.binds, 1);
        EXPECT_EQ(hotkeys.BoundTrigger(10003), "user:CTRL+e");
        EXPECT_EQ(hotkeys.BoundTrigger(14000), "user:KP_0");

        portal.Emit(kDesktop, kInterface, "Activated",
                    {QVariant::fromValue(QDBusObjectPath("/other/session")), "hotkey-10003",
                     qulonglong(1), QVariantMap()});
        portal.Emit(kDesktop, kInterface, "Activated",
                    {QVariant::fromValue(QDBusObjectPath(kSession)), "hotkey-14000", qulonglong(2),
                     QVariantMap()});
        ASSERT_TRUE(PumpUntil([&] { return !fired.empty(); }));
        EXPECT_EQ(fired, std::vector<int>{14000});  // another session's key is not ours

        // The user rebinds in the desktop's settings.
        QList<PortalShortcut> changed{{"hotkey-10003", {{"trigger_description", "Alt+F3"}}}};
        portal.Emit(kDesktop, kInterface, "ShortcutsChanged",
                    {QVariant::fromValue(QDBusObjectPath(kSession)), QVariant::fromValue(changed)});
        ASSERT_TRUE(PumpUntil([&] { return hotkeys.BoundTrigger(14000).isEmpty(); }));
        EXPECT_EQ(hotkeys.BoundTrigger(10003), "Alt+F3");

        hotkeys.Unregister(10003);
        ASSERT_TRUE(PumpUntil([&] { return portal.binds == 2; }));
        ASSERT_EQ(portal.bound.size(), 1);
        EXPECT_EQ(portal.bound[0].id, "hotkey-14000");
    }
    QDBusConnection::disconnectFromBus("client");
    QDBusConnection::disconnectFromBus("portal");
}

#include "test_portal_hotkeys.moc"
