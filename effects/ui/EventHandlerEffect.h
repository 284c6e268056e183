#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "ccm_util/EventBus.h"
#include "effects/ui/PageMeters.h"
#include "effects/ui/ParamControlBinder.h"
#include "toolkit/PageController.h"

class CWorkSpace;
class QAbstractButton;
class QLabel;
class QTabWidget;
class SProgress;

namespace sound {
class CMoodConfig;
}
namespace platform::hotkeys {
class IHotkeys;
}

namespace toolkit {
class CHostDialog;
class CMenu;
}  // namespace toolkit

namespace effects::ui {

class CKxTreeViewAdapter;
class CCloudEffectPanel;

// The page binder: the page's controls, and a log line whenever a parameter's controls come to
// show another value than they did, so that what the card reports can be followed to the screen.
class CEffectPageBinder : public CParamControlBinder<CWorkSpace> {
public:
    void ShowValue(int paramId, int value) override;

protected:
    // The user's edit is what the controls show now.
    void EditParam(int paramId, int value) override;

private:
    // False when the value is what the parameter's controls show already.
    bool Remember(int paramId, int value);

    std::array<int, 64> m_shown{};
    std::array<bool, 64> m_known{};
};

// The effects page of the main window: the mixer's knobs, value boxes and switches follow the
// card through the page's binder, the balance slider sets the exciter, the effect buttons apply
// and show the current effect and offer the remote-control slots in their menus, the preset
// buttons apply and mark presets, the level meters follow the card's reports.
//
// Global hotkeys of the effect buttons live in the sound-pad store, which registers them, and in
// the settings file's "HotKey" section, which the captions read.
//
// The "KX音效" tab lives in CKxTreeViewAdapter, the cloud effects in CCloudEffectPanel; both use
// the operations below. The class is one page but its jobs have files of their own:
// EventHandlerEffect.cpp (controls, effect buttons, presets, dialogs, meters), EffectSlots.cpp
// (the remote-control slots and "my effects"), EffectDownloads.cpp (using downloaded effects),
// EffectHotkeys.cpp (the buttons' global hotkeys).
class CEventHandlerEffect : public toolkit::IPageController {
public:
    static constexpr int kEffectButtonFirst = 10000;
    static constexpr int kEffectButtonCount = 19;
    static constexpr int kDeviceEffectButtons = 7;
    static constexpr int kToneSliderId = 8012;
    static constexpr int kRemoteSwitchId = 7022;
    static constexpr int kReverbMoreId = 1000;
    static constexpr int kEqMoreId = 1001;
    static constexpr int kSaveEffectId = 12100;
    static constexpr int kPresetGroups = 3;

    // Runs a dialog the page opens and returns its result; tests answer instead of a user.
    using DialogRunner = std::function<int(toolkit::CHostDialog&)>;

    explicit CEventHandlerEffect(CWorkSpace* workspace);
    ~CEventHandlerEffect() override;
    CEventHandlerEffect(const CEventHandlerEffect&) = delete;
    CEventHandlerEffect& operator=(const CEventHandlerEffect&) = delete;

    void Setup(toolkit::CHostWindow& window) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;
    bool OnControlEvent(const toolkit::ControlEvent& event) override;
    bool OnMenuCommand(int id) override;

    // Makes the page's binder the workspace's active one again and shows the values: after a
    // dialog with its own binder closed, the page shows what was changed there.
    void RestoreBinding();

    void ApplyEffectButton(int id);
    // Derives the checked effect button, the tab pages, the grey overlays, the save button and the
    // title from the workspace's current effect.
    void RefreshEffectView();
    void RefreshButtonCaptions();

    // Presets: group index 0 equaliser, 1 reverb, 2 voice; an item outside the group unmarks it.
    void ApplyPreset(int id);
    void MarkPreset(int group, int item);
    void ClearPresetMarks();

    // The context menu of an effect button as it would show now, or null when it shows nothing.
    std::unique_ptr<toolkit::CMenu> BuildEffectMenu(int id) const;
    void ShowEffectMenu(int id, const QPoint& screenPos);
    int MenuTarget() const { return m_menuTarget; }

    // Operations of the effect lists. Identifiers are downloaded effects' numbers in decimal or
    // effect files' paths.
    bool UseEffectFile(std::u16string_view name, const std::filesystem::path& path);
    void UseEffectNumber(int number, std::u16string_view name);
    // True when the store was handed to the card; its tip and the stored record follow the
    // card's answer.
    bool SaveEffectToSlot(std::u16string_view identifier, int slot, std::u16string_view name);
    // Saves the My Effect whose menu was opened into remote slot 1 or 2; told learns whether
    // the card took it, and the record is stored only then.
    void SaveMyEffectToSlot(int slot, std::function<void(bool)> told);
    void AddToMyEffects(int index, std::u16string_view name, std::u16string_view identifier);

    // Hotkeys: the store that registers them, the service (for its availability) and the settings
    // file whose "HotKey" section holds the effect buttons' values. Set before Setup; without a
    // store the page offers no hotkeys.
    void SetHotkeyServices(sound::CMoodConfig* store, platform::hotkeys::IHotkeys* service,
                           std::filesystem::path settingsFile);
    // A pressed global hotkey: an effect button's id acts as its click while the card is
    // connected and hotkeys are enabled; false (not consumed) otherwise.
    bool OnHotkey(int id);
    // Reads the effect buttons' hotkeys from the settings file into the store (which registers
    // them when enabled).
    void LoadEffectHotkeys();
    // Stores, registers and writes one effect button's hotkey and shows it in the caption.
    void SetEffectHotkey(int id, uint32_t hotkey);
    uint32_t StoredHotkey(int id) const;

    void SetDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    CEffectPageBinder& Binder() { return m_binder; }
    CPageMeters& Meters() { return m_meters; }
    // The "KX音效" tab, or null when the window has no such tree.
    CKxTreeViewAdapter* KxAdapter() const { return m_kxAdapter.get(); }
    // The "云音效" tab; null when the window has none.
    CCloudEffectPanel* CloudPanel() const { return m_cloudPanel.get(); }

private:
    void BindControls();
    void FindControls();
    void OnParamChanged(const std::vector<std::pair<int32_t, int32_t>>& params);
    void OnDeviceChanged();
    void EnableCardControls();
    void OnLevelReport(std::span<const uint8_t> frame);
    void OnDownloadNotice(ccm_util::WPARAM what, ccm_util::LPARAM value);
    void OpenEqualiser();
    void OpenReverbPitch();
    void OpenSaveEffect();
    void ShowToneBalance();
    void EffectApplied();
    bool IsConnected() const;
    bool IsButtonChecked(int index) const;
    QAbstractButton* EffectButton(int index) const;
    void Tip(const QString& text, bool warning, int durationMs = 2000) const;
    // fn(sent) once the card answered the edits made so far; dropped when the page went first.
    void AfterSent(std::function<void(bool)> fn);
    bool HotkeysOffered() const;
    void EditHotkey(int id);
    void DeleteHotkey(int id);
    void OnHotkeySwitch(bool on);
    void ShowHotkeySwitch();

    CWorkSpace* m_workspace;
    CEffectPageBinder m_binder;
    toolkit::CHostWindow* m_window = nullptr;
    std::array<QPointer<QAbstractButton>, kEffectButtonCount> m_effectButtons;
    std::array<std::array<QPointer<QAbstractButton>, 8>, kPresetGroups> m_presetButtons;
    CPageMeters m_meters;
    QPointer<QLabel> m_title;
    QPointer<QTabWidget> m_effectTabs;
    QPointer<QTabWidget> m_reverbTabs;
    QPointer<QWidget> m_saveButton;
    QPointer<QWidget> m_forbidCommon;
    QPointer<QWidget> m_forbidElectric;
    QPointer<QWidget> m_forbidReverb;
    QPointer<QWidget> m_forbidOperation;
    QPointer<SProgress> m_progress;
    QPointer<QAbstractButton> m_hotkeySwitch;
    sound::CMoodConfig* m_hotkeyStore = nullptr;
    platform::hotkeys::IHotkeys* m_hotkeyService = nullptr;
    std::filesystem::path m_settingsFile;
    QString m_loadingName;
    int m_menuTarget = -1;
    bool m_presetMarked = false;
    bool m_initialised = false;
    DialogRunner m_runDialog;
    std::unique_ptr<CKxTreeViewAdapter> m_kxAdapter;
    ccm_util::CEventSubscription m_paramSubscription;
    ccm_util::CEventSubscription m_deviceSubscription;
    ccm_util::CEventSubscription m_levelSubscription;
    ccm_util::CEventSubscription m_presetMarkSubscription;
    ccm_util::CEventSubscription m_presetClearSubscription;
    ccm_util::CEventSubscription m_myEffectsSubscription;
    // Answers of the card reach the page only while it lives.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::unique_ptr<CCloudEffectPanel> m_cloudPanel;
};

}  // namespace effects::ui

using effects::ui::CEventHandlerEffect;
