// X key grabs under a private X server, pressed with xdotool.
#include <gtest/gtest.h>

#include "PumpUntil.h"
#include "../e2e/ChildProcess.h"
#include "CreateHotkeys.h"
#include "HotkeyValue.h"
#include "XcbHotkeys.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cstdlib>

#include <filesystem>
#include <functional>
#include <memory>

using namespace platform::hotkeys;

namespace {

const std::string kXdotool = "/usr/bin/xdotool";

void EnsureApp() {
    static int argc = 1;
    static char name[] = "test_hotkeys";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        new QCoreApplication(argc, argv);
    }
}

// Another X client, grabbing on the same root window.
class OtherClient {
public:
    explicit OtherClient(const std::string& display)
        : m_connection(xcb_connect(display.c_str(), nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~OtherClient() { xcb_disconnect(m_connection); }
    // Grabs every key with modifiers; false when the server refuses it.
    bool GrabAnyKey(uint16_t modifiers) {
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, XCB_GRAB_ANY,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        free(error);
        return error == nullptr;
    }
    void UngrabAnyKey() {
        xcb_ungrab_key(m_connection, XCB_GRAB_ANY, m_root, XCB_MOD_MASK_ANY);
        // A round trip: the server has let go before the next client's request.
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

class XcbHotkeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/Xvfb") || !std::filesystem::exists(kXdotool)) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        }
        xserver = std::make_unique<ChildProcess>(
            // -noreset: the test drops its only client and connects again at once, which would
            // otherwise race the server resetting itself.
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp",
                                     "-noreset"},
            std::vector<std::string>{});
        const std::string number = xserver->ReadLine(10000);
        if (number.empty()) {
            GTEST_SKIP() << "no X server could be started: " << xserver->Stderr();
        }
        display = ":" + number;
        EnsureApp();
        hotkeys = CXcbHotkeys::Connect(display.c_str());
        ASSERT_TRUE(hotkeys);
        hotkeys->SetActivationHandler([this](int id) { fired.push_back(id); });
    }

    void Press(const std::string& keys) {
        const auto result = ChildProcess::Run({kXdotool, "key", keys}, {"DISPLAY=" + display});
        ASSERT_EQ(result.status, 0) << result.err;
    }
    bool Fires(const std::string& keys, int id) {
        fired.clear();
        Press(keys);
        return PumpUntil([&] { return !fired.empty(); }) && fired == std::vector<int>{id};
    }
    // A press that must not fire: a marker hotkey pressed after it shows the first was handled.
    bool Ignored(const std::string& keys) {
        fired.clear();
        Press(keys);
        EXPECT_EQ(hotkeys->Register(99, MakeHotKey(0x7B, kHotkeyCtrl)), RegisterResult::kOk);
        Press("ctrl+F12");
        PumpUntil([&] { return !fired.empty(); });
        hotkeys->Unregister(99);
        return fired == std::vector<int>{99};
    }

    std::unique_ptr<ChildProcess> xserver;
    std::string display;
    std::unique_ptr<CXcbHotkeys> hotkeys;
    std::vector<int> fired;
};

TEST_F(XcbHotkeysTest, RegisteredKeysFireWhateverTheLockState) {
    ASSERT_EQ(hotkeys->Register(10003, MakeHotKey('K', kHotkeyCtrl | kHotkeyShift)),
              RegisterResult::kOk);
    ASSERT_EQ(hotkeys->Register(14000, MakeHotKey(0x60, 0)), RegisterResult::kOk);
    ASSERT_EQ(hotkeys->Register(14009, MakeHotKey(0x69, 0)), RegisterResult::kOk);
    EXPECT_TRUE(Fires("ctrl+shift+k", 10003));
    EXPECT_TRUE(Ignored("ctrl+k"));  // the modifiers must match, not just be included

    Press("Num_Lock");
    EXPECT_TRUE(Fires("KP_0", 14000));
    EXPECT_TRUE(Fires("KP_9", 14009));
    Press("Caps_Lock");
    EXPECT_TRUE(Fires("ctrl+shift+k", 10003));
    EXPECT_TRUE(Fires("KP_0", 14000));
    Press("Num_Lock");
    EXPECT_TRUE(Fires("ctrl+shift+k", 10003));
}

TEST_F(XcbHotkeysTest, AKeyAnotherClientHoldsIsRefusedAndOursIsHeldUntilUnregistered) {
    OtherClient other(display);
    ASSERT_TRUE(other.GrabAnyKey(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    EXPECT_EQ(hotkeys->Register(10001, MakeHotKey('J', kHotkeyCtrl | kHotkeyAlt)),
              RegisterResult::kHeldByOther);
    other.UngrabAnyKey();
    // The refused registration kept none of its grabs: the key is free for the other client.
    ASSERT_TRUE(other.GrabAnyKey(XCB_MOD_MASK_ANY));
    other.UngrabAnyKey();

    ASSERT_EQ(hotkeys->Register(10001, MakeHotKey('J', kHotkeyCtrl | kHotkeyAlt)),
              RegisterResult::kOk);
    // Two of our ids cannot share a key: unregistering one would free the other's.
    EXPECT_EQ(hotkeys->Register(10002, MakeHotKey('J', kHotkeyCtrl | kHotkeyAlt)),
              RegisterResult::kHeldByOther);
    EXPECT_FALSE(other.GrabAnyKey(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_LOCK));
    EXPECT_FALSE(other.GrabAnyKey(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2));
    EXPECT_TRUE(Fires("ctrl+alt+j", 10001));

    hotkeys->Unregister(10001);
    EXPECT_TRUE(other.GrabAnyKey(XCB_MOD_MASK_ANY));  // all four lock combinations released
    other.UngrabAnyKey();
    EXPECT_TRUE(Ignored("ctrl+alt+j"));
}

TEST_F(XcbHotkeysTest, RegisteringAnIdAgainMovesItsKey) {
    ASSERT_EQ(hotkeys->Register(10000, MakeHotKey(0x70, kHotkeyAlt)), RegisterResult::kOk);
    ASSERT_EQ(hotkeys->Register(10000, MakeHotKey(0x71, kHotkeyAlt)), RegisterResult::kOk);
    EXPECT_TRUE(Fires("alt+F2", 10000));
    EXPECT_TRUE(Ignored("alt+F1"));
    hotkeys.reset();  // closing ungrabs too
    OtherClient other(display);
    EXPECT_TRUE(other.GrabAnyKey(XCB_MOD_MASK_ANY));
}

TEST_F(XcbHotkeysTest, TheSessionTypeChoosesTheService) {
    hotkeys.reset();
    setenv("DISPLAY", display.c_str(), 1);
    setenv("XDG_SESSION_TYPE", "x11", 1);
    EXPECT_EQ(CreateHotkeys()->Available(), Availability::kX11);
    // A Wayland session without a portal: X grabs would only see keys typed into X windows.
    setenv("XDG_SESSION_TYPE", "wayland", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    EXPECT_EQ(CreateHotkeys()->Available(), Availability::kUnavailable);
}

}  // namespace
