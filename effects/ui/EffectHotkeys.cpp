// The effects page's global hotkeys: the switch, the buttons' hotkey entries and captions, and the
// presses that act as the buttons' clicks.
#include <QAbstractButton>
#include <string>

#include "ConfigData.h"
#include "EffectMenu.h"
#include "Hotkeys.h"
#include "Log/Log.h"
#include "MoodConfig.h"
#include "effects/ui/EventHandlerEffect.h"
#include "profile/Profile.h"
#include "toolkit/HostWindow.h"
#include "widgets/SInputHotKeyDlg.h"

#define LOG_SOURCE "effects\\ui\\EffectHotkeys"

namespace effects::ui {

namespace {

namespace pp = platform::profile;

constexpr int kHotkeyNoticeMs = 5000;  // the notice carries a command to copy

QString HeldText() {
    return QStringLiteral("此热键已经被占用，设置热键失败！");
}

}  // namespace

void CEventHandlerEffect::SetHotkeyServices(sound::CMoodConfig* store,
                                            platform::hotkeys::IHotkeys* service,
                                            std::filesystem::path settingsFile) {
    m_hotkeyStore = store;
    m_hotkeyService = service;
    m_settingsFile = std::move(settingsFile);
}

bool CEventHandlerEffect::HotkeysOffered() const {
    return m_hotkeyStore != nullptr;
}

uint32_t CEventHandlerEffect::StoredHotkey(int id) const {
    if (m_settingsFile.empty()) {
        return 0;
    }
    const int value =
        pp::GetPrivateProfileInt(config_keys::kHotKey, std::to_string(id), 0, m_settingsFile);
    return static_cast<uint32_t>(value);
}

void CEventHandlerEffect::LoadEffectHotkeys() {
    if (!m_hotkeyStore) {
        return;
    }
    for (int i = 0; i < kEffectButtonCount; ++i) {
        const int id = kEffectButtonFirst + i;
        // The store registers the id when hotkeys are enabled and the value is not 0.
        m_hotkeyStore->SetEffectHotkey(id, StoredHotkey(id));
    }
    int registered = 0;
    for (int i = 0; i < kEffectButtonCount; ++i) {
        registered += m_hotkeyStore->IsHotkeyRegistered(kEffectButtonFirst + i) ? 1 : 0;
    }
    VLOG_INFO("effects", "LoadEffectHotkeys", "effect hotkeys registered: %d", registered);
}

void CEventHandlerEffect::SetEffectHotkey(int id, uint32_t hotkey) {
    if (!m_hotkeyStore) {
        return;
    }
    m_hotkeyStore->SetEffectHotkey(id, hotkey);
    if (!m_settingsFile.empty() &&
        !pp::WritePrivateProfileString(config_keys::kHotKey, std::to_string(id),
                                       std::to_string(hotkey), m_settingsFile)) {
        VLOG_ERROR("effects", "SetEffectHotkey", "hotkey of %d not written", id);
    }
    RefreshButtonCaptions();
}

bool CEventHandlerEffect::OnHotkey(int id) {
    if (id < kEffectButtonFirst || id >= kEffectButtonFirst + kEffectButtonCount) {
        return false;
    }
    if (!m_hotkeyStore || !m_hotkeyStore->HotkeysEnabled() || !IsConnected()) {
        return false;
    }
    ApplyEffectButton(id);
    return true;
}

void CEventHandlerEffect::EditHotkey(int id) {
    if (!m_hotkeyStore) {
        return;
    }
    if (m_hotkeyService &&
        m_hotkeyService->Available() == platform::hotkeys::Availability::kUnavailable) {
        Tip(QString::fromStdString(platform::hotkeys::UnavailableNotice(id)), true,
            kHotkeyNoticeMs);
        return;
    }
    const bool enabled = m_hotkeyStore->HotkeysEnabled();
    const uint32_t old = StoredHotkey(id);
    if (enabled) {
        m_hotkeyStore->UnregisterHotkeys();
    }
    uint32_t chosen = old;
    {
        SInputHotKeyDlg dialog(QStringLiteral("LAYOUT:XML_HOTKEYDLG"), old, QString(), m_window);
        if (m_runDialog(dialog) == toolkit::IDOK) {
            chosen = dialog.HotKey();
        }
    }
    bool refused = false;
    if (chosen != old) {
        if (m_hotkeyStore->IsHotkeyInUse(chosen)) {
            refused = true;
        } else {
            SetEffectHotkey(id, chosen);
        }
    }
    if (enabled) {
        m_hotkeyStore->RegisterHotkeys();
        if (chosen != old && !refused && chosen != 0 && !m_hotkeyStore->IsHotkeyRegistered(id)) {
            // Another program holds the key: the old hotkey stays.
            SetEffectHotkey(id, old);
            m_hotkeyStore->RegisterHotkeys();
            refused = true;
        }
    }
    if (refused) {
        Tip(HeldText(), true);
    }
}

void CEventHandlerEffect::DeleteHotkey(int id) {
    if (!m_hotkeyStore || StoredHotkey(id) == 0) {
        return;
    }
    const bool enabled = m_hotkeyStore->HotkeysEnabled();
    if (enabled) {
        m_hotkeyStore->UnregisterHotkeys();
    }
    SetEffectHotkey(id, 0);
    if (enabled) {
        m_hotkeyStore->RegisterHotkeys();
    }
}

void CEventHandlerEffect::OnHotkeySwitch(bool on) {
    if (!m_hotkeyStore) {
        return;
    }
    m_hotkeyStore->SetHotkeysEnabled(on);
    if (on && m_hotkeyService &&
        m_hotkeyService->Available() == platform::hotkeys::Availability::kUnavailable) {
        Tip(QString::fromStdString(platform::hotkeys::UnavailableNotice(0)), true, kHotkeyNoticeMs);
    }
}

void CEventHandlerEffect::ShowHotkeySwitch() {
    if (m_hotkeyService) {
        // Presses come on the UI thread; the page lives as long as its window.
        m_hotkeyService->SetActivationHandler([this](int id) { OnHotkey(id); });
    }
    if (!m_window) {
        return;
    }
    m_hotkeySwitch =
        m_window->FindChildByName<QAbstractButton>(QStringLiteral("chk_hotkey_switch"));
    if (!m_hotkeySwitch) {
        return;
    }
    m_hotkeySwitch->setEnabled(m_hotkeyStore != nullptr);
    m_hotkeySwitch->setChecked(m_hotkeyStore && m_hotkeyStore->HotkeysEnabled());
    if (m_hotkeyService &&
        m_hotkeyService->Available() == platform::hotkeys::Availability::kUnavailable) {
        m_hotkeySwitch->setToolTip(QString::fromStdString(platform::hotkeys::UnavailableNotice(0)));
    }
}

}  // namespace effects::ui
