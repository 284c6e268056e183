#include "PortalShortcuts.h"

#include "HotkeyValue.h"
#include "VirtualKeys.h"

namespace platform::hotkeys {

namespace {
const QString kIdPrefix = QStringLiteral("hotkey-");
}

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut) {
    arg.beginStructure();
    arg << shortcut.id << shortcut.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut) {
    arg.beginStructure();
    arg >> shortcut.id >> shortcut.properties;
    arg.endStructure();
    return arg;
}

QString PortalShortcutId(int id) {
    return kIdPrefix + QString::number(id);
}

int HotkeyIdOfPortalShortcut(const QString& shortcutId) {
    if (!shortcutId.startsWith(kIdPrefix)) {
        return -1;
    }
    bool ok = false;
    const int id = shortcutId.mid(kIdPrefix.size()).toInt(&ok);
    return ok && id >= 0 ? id : -1;
}

QString PortalTrigger(uint32_t value) {
    const std::string key = VkToKeysymName(HotKeyVk(value));
    if (key.empty()) {
        return {};
    }
    const uint16_t modifiers = HotKeyModifiers(value);
    QString trigger;
    if (modifiers & kHotkeyCtrl)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & kHotkeyAlt)
        trigger += QStringLiteral("ALT+");
    if (modifiers & kHotkeyShift)
        trigger += QStringLiteral("SHIFT+");
    return trigger + QString::fromStdString(key);
}

QList<PortalShortcut> PortalBindList(const std::map<int, uint32_t>& wanted) {
    QList<PortalShortcut> list;
    for (const auto& [id, value] : wanted) {
        PortalShortcut shortcut{PortalShortcutId(id), {}};
        shortcut.properties[QStringLiteral("description")] =
            QStringLiteral("Velora hotkey %1").arg(id);
        const QString trigger = PortalTrigger(value);
        if (!trigger.isEmpty()) {
            shortcut.properties[QStringLiteral("preferred_trigger")] = trigger;
        }
        list.append(shortcut);
    }
    return list;
}

std::map<int, QString> PortalBoundTriggers(const QList<PortalShortcut>& shortcuts) {
    std::map<int, QString> bound;
    for (const PortalShortcut& shortcut : shortcuts) {
        const int id = HotkeyIdOfPortalShortcut(shortcut.id);
        if (id >= 0) {
            bound[id] = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        }
    }
    return bound;
}

QString PortalRequestPath(const QString& uniqueBusName, const QString& token) {
    QString sender = uniqueBusName.startsWith(u':') ? uniqueBusName.mid(1) : uniqueBusName;
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

}  // namespace platform::hotkeys
