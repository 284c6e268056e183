#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>
#include <QtDBus/QDBusArgument>

#include <cstdint>
#include <map>

// What goes to and comes from the desktop portal's GlobalShortcuts interface, apart from the bus.
namespace platform::hotkeys {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut);

// Our hotkey ids as the portal's shortcut ids and back; -1 for an id that is not ours.
QString PortalShortcutId(int id);
int HotkeyIdOfPortalShortcut(const QString& shortcutId);
// The stored hotkey as a trigger of the shortcuts format ("CTRL+SHIFT+KP_0"); empty for an
// unknown key.
QString PortalTrigger(uint32_t value);
// The list BindShortcuts takes for the wanted hotkeys, each with a description and its trigger.
QList<PortalShortcut> PortalBindList(const std::map<int, uint32_t>& wanted);
// The bindings a Response or ShortcutsChanged reports: hotkey id to the trigger as the desktop
// describes it (the user may have chosen another key than ours, or none).
std::map<int, QString> PortalBoundTriggers(const QList<PortalShortcut>& shortcuts);
// The object path of the Request a call with handle_token token will answer on.
QString PortalRequestPath(const QString& uniqueBusName, const QString& token);

}  // namespace platform::hotkeys

Q_DECLARE_METATYPE(platform::hotkeys::PortalShortcut)
