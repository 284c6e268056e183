// The key table, the portal's requests and answers, and the choice of service.
#include <gtest/gtest.h>

#include "HotkeyValue.h"
#include "PortalHotkeys.h"
#include "PortalShortcuts.h"
#include "VirtualKeys.h"

#define XK_MISCELLANY
#define XK_LATIN1
#include <X11/keysymdef.h>

using namespace platform::hotkeys;

TEST(HotkeyKeys, KeypadFavouritesGrabKeypadKeysAndOthersTheirUsKey) {
    // Num 0 … Num 9, the default favourites' keys.
    for (uint16_t i = 0; i < 10; ++i) {
        EXPECT_EQ(VkToKeysym(0x60 + i), XK_KP_0 + i);
        EXPECT_EQ(VkToKeysymName(0x60 + i), "KP_" + std::to_string(i));
        EXPECT_EQ(VkToKeysym('0' + i), XK_0 + i);
        EXPECT_EQ(QtKeyToVk(Qt::Key_0 + i, true), 0x60 + i);
    }
    EXPECT_EQ(VkToKeysym('K'), XK_k);
    EXPECT_EQ(VkToKeysym(0x74), XK_F5);
    EXPECT_EQ(VkToKeysym(0x6A), XK_KP_Multiply);
    EXPECT_EQ(VkToKeysym(0xBA), XK_semicolon);
    EXPECT_EQ(VkToKeysym(0x0D), XK_Return);
    EXPECT_EQ(VkToKeysym(0xFF), 0u);
    EXPECT_EQ(VkToKeysymName(0xFF), "");
    // The edit control's shifted symbols read as the key that types them.
    EXPECT_EQ(QtKeyToVk(Qt::Key_Colon), 0xBA);
    EXPECT_EQ(QtKeyToVk(Qt::Key_Asterisk), 0x38);
    EXPECT_EQ(QtKeyToVk(Qt::Key_Asterisk, true), 0x6A);
}

TEST(HotkeyPortal, BindListCarriesIdsAndTriggersInTheShortcutsFormat) {
    EXPECT_EQ(PortalTrigger(MakeHotKey(0x60, 0)), "KP_0");
    EXPECT_EQ(PortalTrigger(MakeHotKey(0x70, kHotkeyShift | kHotkeyCtrl)), "CTRL+SHIFT+F1");
    EXPECT_EQ(PortalTrigger(MakeHotKey('A', kHotkeyAlt)), "ALT+a");
    EXPECT_EQ(PortalTrigger(MakeHotKey(0xFF, kHotkeyAlt)), "");

    const QList<PortalShortcut> list =
        PortalBindList({{10003, MakeHotKey('E', kHotkeyCtrl)}, {14000, MakeHotKey(0xFF, 0)}});
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].id, "hotkey-10003");
    EXPECT_EQ(list[0].properties.value("preferred_trigger").toString(), "CTRL+e");
    EXPECT_FALSE(list[0].properties.value("description").toString().isEmpty());
    // A key the shortcuts format cannot name is still offered, for the user to pick one.
    EXPECT_EQ(list[1].id, "hotkey-14000");
    EXPECT_FALSE(list[1].properties.contains("preferred_trigger"));

    EXPECT_EQ(PortalRequestPath(":1.42", "velora_bind_3"),
              "/org/freedesktop/portal/desktop/request/1_42/velora_bind_3");
}

TEST(HotkeyPortal, AnswersReadBackWhatTheUserBound) {
    const QList<PortalShortcut> answer{
        {"hotkey-10003", {{"description", "x"}, {"trigger_description", "Ctrl+Alt+E"}}},
        {"hotkey-14001", {{"description", "y"}}},
        {"someone-else", {{"trigger_description", "F9"}}},
        {"hotkey-", {{"trigger_description", "F8"}}},
    };
    const std::map<int, QString> bound = PortalBoundTriggers(answer);
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound.at(10003), "Ctrl+Alt+E");
    EXPECT_EQ(bound.at(14001), "");
    EXPECT_EQ(HotkeyIdOfPortalShortcut("hotkey--5"), -1);
}

TEST(HotkeyPortal, RegisterRefusesUnknownKeysAndOurOwnDuplicates) {
    CPortalHotkeys portal;  // without a session bus the wishes stay queued
    EXPECT_EQ(portal.Register(10000, MakeHotKey(0xFF, 0)), RegisterResult::kUnavailable);
    EXPECT_EQ(portal.Register(10000, MakeHotKey('E', kHotkeyCtrl)), RegisterResult::kOk);
    EXPECT_EQ(portal.Register(10001, MakeHotKey('E', kHotkeyCtrl)), RegisterResult::kHeldByOther);
    EXPECT_EQ(portal.Register(10000, MakeHotKey('F', kHotkeyCtrl)), RegisterResult::kOk);
    EXPECT_EQ(portal.Register(10001, MakeHotKey('E', kHotkeyCtrl)), RegisterResult::kOk);
}

TEST(HotkeyService, WaylandUsesThePortalOrNothingAndSaysWhatToBindInstead) {
    EXPECT_EQ(ChooseService(false, true, true), Availability::kX11);
    EXPECT_EQ(ChooseService(true, true, true), Availability::kPortal);
    EXPECT_EQ(ChooseService(true, true, false), Availability::kUnavailable);
    EXPECT_EQ(ChooseService(false, false, true), Availability::kPortal);
    EXPECT_EQ(ChooseService(false, false, false), Availability::kUnavailable);

    EXPECT_EQ(CNoHotkeys().Register(10000, MakeHotKey('E', 0)), RegisterResult::kUnavailable);
    EXPECT_EQ(DesktopCommandFor(10002), "lyntctl effect 2");
    EXPECT_EQ(DesktopCommandFor(10007), "lyntctl my-effect 0");
    EXPECT_EQ(DesktopCommandFor(10018), "lyntctl my-effect 11");
    EXPECT_EQ(DesktopCommandFor(10019), "");
    EXPECT_EQ(DesktopCommandFor(14000), "");
    EXPECT_NE(UnavailableNotice(10002).find("“lyntctl effect 2”"), std::string::npos);
    EXPECT_EQ(UnavailableNotice(14000).find("lyntctl"), std::string::npos);
}
