#include "effects/ui/EventHandlerEffect.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>

#include "ButtonCaption.h"
#include "EffectMenu.h"
#include "EffectView.h"
#include "Hotkeys.h"
#include "Log/Log.h"
#include "ModelEvents.h"
#include "PresetRadios.h"
#include "QVAudioProtocol.h"
#include "WorkSpace.h"
#include "ConnectionEvents.h"
#include "ccm_util/AppMessages.h"
#include "effects/ui/BoundControls.h"
#include "effects/ui/CloudEffectPanel.h"
#include "effects/ui/DlgEQ.h"
#include "effects/ui/DlgReverbPitch.h"
#include "effects/ui/DlgSaveEffect.h"
#include "effects/ui/EffectListPanel.h"
#include "effects/ui/KxTreeViewAdapter.h"
#include "toolkit/HostWindow.h"
#include "toolkit/HotKey.h"
#include "toolkit/Menu.h"
#include "toolkit/SProgress.h"
#include "widgets/CTipWnd.h"
#include "effects/ui/RecordQtText.h"

#define LOG_SOURCE "effects\\ui\\EventHandlerEffect"

namespace effects::ui {

namespace {

// One strip of the mixer: knob, value box and mute switch of a parameter, and the switch
// descriptor of its mute bit.
struct VolumeStrip {
    int param;
    int knob;
    int edit;
    int mute;
    int switchIndex;
};

constexpr VolumeStrip kVolumeStrips[] = {
    {0, 8011, 6011, 7011, 0},   {1, 8010, 6010, 7010, 1},   {38, 8001, 6001, 7001, 6},
    {39, 8000, 6000, 7000, 7},  {41, 8006, 6006, 7006, 9},  {42, 8004, 6004, 7004, 10},
    {43, 8005, 6005, 7005, 11}, {44, 8002, 6002, 7002, 12}, {46, 8003, 6003, 7003, 14},
};
constexpr int kNoiseParam = 4;
constexpr int kNoiseKnob = 8009;
constexpr int kNoiseEdit = 6009;
constexpr int kMixParam = 5;
constexpr int kMixCheck = 7020;
constexpr int kRemoteSwitchIndex = 16;

constexpr int kMenuSaveToDeviceFirst = effects::kCmdRemoteSlot1;

QString HotkeyEntryText(int command) {
    switch (command) {
        case effects::kCmdSetHotkey:
            return QStringLiteral("设置热键");
        case effects::kCmdDeleteHotkey:
            return QStringLiteral("删除热键");
        default:
            return QStringLiteral("编辑热键");
    }
}

void Show(QWidget* w, effects::Cover cover) {
    if (w && cover != effects::Cover::Unchanged) {
        w->setVisible(cover == effects::Cover::Shown);
    }
}


}  // namespace

bool CEffectPageBinder::Remember(int paramId, int value) {
    if (paramId < 0 || paramId >= static_cast<int>(m_shown.size())) {
        return false;
    }
    const auto i = static_cast<size_t>(paramId);
    const bool changed = !m_known[i] || m_shown[i] != value;
    m_known[i] = true;
    m_shown[i] = value;
    return changed;
}

void CEffectPageBinder::ShowValue(int paramId, int value) {
    // A value held back during a drag is shown (and logged) at the release.
    if (HasControl(paramId) && !IsParamHeld(paramId) && Remember(paramId, value)) {
        VLOG_INFO("binder", "CEffectPageBinder::ShowValue", "shown %d = %d", paramId, value);
    }
    CParamControlBinder<CWorkSpace>::ShowValue(paramId, value);
}

void CEffectPageBinder::EditParam(int paramId, int value) {
    Remember(paramId, value);
    CParamControlBinder<CWorkSpace>::EditParam(paramId, value);
}

CEventHandlerEffect::CEventHandlerEffect(CWorkSpace* workspace)
    : m_workspace(workspace), m_runDialog([](toolkit::CHostDialog& d) { return d.DoModal(); }) {
    m_paramSubscription = ccm_util::CEventSubscription::Of<EventParamChanged>(
        [this](const EventParamChanged& e) { OnParamChanged(e.params); });
    m_deviceSubscription = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { OnDeviceChanged(); });
    m_levelSubscription = ccm_util::CEventSubscription::Of<EventVolumeRecvData>(
        [this](const EventVolumeRecvData& e) { OnLevelReport(e.data); });
    m_presetMarkSubscription = ccm_util::CEventSubscription::Of<EventUpdatePresetBtnStatu>(
        [this](const EventUpdatePresetBtnStatu& e) {
            m_presetMarked = true;
            MarkPreset(e.group - 1, e.item - 1);
        });
    m_presetClearSubscription = ccm_util::CEventSubscription::Of<EventClearPresetBtnStatu>(
        [this](const EventClearPresetBtnStatu&) {
            if (m_presetMarked) {
                ClearPresetMarks();
            }
        });
    m_myEffectsSubscription = ccm_util::CEventSubscription::Of<EventMyEffectsChanged>(
        [this](const EventMyEffectsChanged&) { RefreshButtonCaptions(); });
}

CEventHandlerEffect::~CEventHandlerEffect() {
    if (m_hotkeyService) {
        m_hotkeyService->SetActivationHandler(nullptr);
    }
}

void CEventHandlerEffect::Setup(toolkit::CHostWindow& window) {
    m_window = &window;
    BindControls();
    // The flush timer of the workspace belongs to the application, which outlives this window.
    FindControls();
    m_kxAdapter = CreateKxListAdapter(*this, window);
    m_cloudPanel = CCloudEffectPanel::Create(*this, m_workspace, window);
    ShowHotkeySwitch();
    OnDeviceChanged();
    LoadEffectHotkeys();
    RefreshButtonCaptions();
    if (m_workspace) {
        m_workspace->RefreshControls();
    }
    RefreshEffectView();
    ShowToneBalance();
    if (m_cloudPanel) {
        m_cloudPanel->StartCloudListFetch();
    }
    m_initialised = true;
}

void CEventHandlerEffect::FindControls() {
    toolkit::CHostWindow& window = *m_window;
    for (int i = 0; i < kEffectButtonCount; ++i) {
        m_effectButtons[static_cast<size_t>(i)] =
            window.FindChildByID<QAbstractButton>(kEffectButtonFirst + i);
    }
    for (int g = 0; g < kPresetGroups; ++g) {
        for (int i = 0; i < effects::kPresetPositions; ++i) {
            m_presetButtons[static_cast<size_t>(g)][static_cast<size_t>(i)] =
                window.FindChildByID<QAbstractButton>(effects::PresetRadioId(g + 1, i + 1));
        }
    }
    m_meters.Attach(&window);
    m_title = window.FindChildByName<QLabel>(QStringLiteral("txt_eff_title"));
    m_effectTabs = window.FindChildByName<QTabWidget>(QStringLiteral("tab_effect"));
    m_reverbTabs = window.FindChildByName<QTabWidget>(QStringLiteral("tab_reverb_pitch"));
    m_saveButton = window.FindChildByName(QStringLiteral("save_effect_btn"));
    m_forbidCommon = window.FindChildByName(QStringLiteral("forbid_not_commom_param"));
    m_forbidElectric = window.FindChildByName(QStringLiteral("forbid_not_electric_param"));
    m_forbidReverb = window.FindChildByName(QStringLiteral("forbid_reverb_param"));
    m_forbidOperation = window.FindChildByName(QStringLiteral("forbid_operation"));
    m_progress = window.FindChildByName<SProgress>(QStringLiteral("progress_eff_download"));
    if (m_progress) {
        m_progress->hide();
    }
}

void CEventHandlerEffect::BindControls() {
    if (!m_window || !m_workspace) {
        return;
    }
    QWidget* scope = m_window->FindChildByName(QStringLiteral("param_content"));
    m_binder.Attach(m_workspace, scope ? scope : m_window);
    for (const VolumeStrip& s : kVolumeStrips) {
        m_binder.Bind(s.param, -1, s.knob, s.edit, s.mute);
        m_binder.Bind(s.param, kBindEdit, s.edit, s.knob);
        m_binder.BindSwitch(s.switchIndex, s.mute, s.param);
    }
    m_binder.Bind(kNoiseParam, -1, kNoiseKnob, kNoiseEdit);
    m_binder.Bind(kNoiseParam, kBindEdit, kNoiseEdit, kNoiseKnob);
    m_binder.BindSwitch(kRemoteSwitchIndex, kRemoteSwitchId, kMixParam);
    m_binder.Bind(kMixParam, -1, kMixCheck);
    // The first binding waits for the rest of the set-up before it shows values.
    if (m_initialised) {
        m_workspace->RefreshControls();
    }
}

void CEventHandlerEffect::RestoreBinding() {
    BindControls();
}

bool CEventHandlerEffect::OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam,
                                          ccm_util::LPARAM lParam) {
    if (msg == UM_NOTIFY_MAIN &&
        (wParam == kNotifyDownloadProgress || wParam == kNotifyDownloadDone)) {
        OnDownloadNotice(wParam, lParam);
        return true;
    }
    return false;
}

bool CEventHandlerEffect::OnControlEvent(const toolkit::ControlEvent& e) {
    if (!m_window) {
        return false;
    }
    const int id = e.controlId;
    const bool effectButton =
        id >= kEffectButtonFirst && id < kEffectButtonFirst + kEffectButtonCount;
    if (e.kind == toolkit::EventKind::SliderPos && id == kToneSliderId) {
        if (m_workspace) {
            m_workspace->SetExciterBalance(e.value);
        }
        return true;
    }
    if (e.kind == toolkit::EventKind::ContextMenu && effectButton) {
        ShowEffectMenu(id, e.point);
        return true;
    }
    if (e.kind == toolkit::EventKind::Command) {
        if (effectButton) {
            ApplyEffectButton(id);
            return true;
        }
        const auto radio = effects::PresetRadioFromId(id);
        if (radio && radio->group >= 1 && radio->group <= 2 && radio->position <= 4) {
            ApplyPreset(id);
            return true;
        }
        switch (id) {
            case kReverbMoreId:
                OpenReverbPitch();
                return true;
            case kEqMoreId:
                OpenEqualiser();
                return true;
            case kSaveEffectId:
                OpenSaveEffect();
                return true;
            default:
                break;
        }
    }
    if (e.kind == toolkit::EventKind::Command && m_hotkeySwitch && e.sender == m_hotkeySwitch) {
        OnHotkeySwitch(m_hotkeySwitch->isChecked());
        return true;
    }
    if (e.kind == toolkit::EventKind::StateChanged && id == kRemoteSwitchId) {
        return true;  // its click is the edit
    }
    return m_binder.OnEvent(e);
}

bool CEventHandlerEffect::IsConnected() const {
    return m_workspace && m_workspace->IsCardReady();
}

void CEventHandlerEffect::Tip(const QString& text, bool warning, int durationMs) const {
    CTipWnd::ShowTipOnWindow(m_window, text, warning, durationMs);
}

void CEventHandlerEffect::EffectApplied() {
    RefreshEffectView();
    if (m_presetMarked) {
        ClearPresetMarks();
    }
}

void CEventHandlerEffect::ApplyEffectButton(int id) {
    if (!m_workspace) {
        return;
    }
    const int index = id - kEffectButtonFirst;
    if (index >= 0 && index < kDeviceEffectButtons) {
        // Without a card the workspace refuses; the page shows its state all the same.
        m_workspace->ApplyBuiltinEffect(index);
        EffectApplied();
        return;
    }
    const int slot = index - kDeviceEffectButtons;
    if (slot < 0 || slot >= CWorkSpace::kCustomSlots) {
        return;
    }
    const model::EffectRecord& r = m_workspace->CustomEffects()[static_cast<size_t>(slot)];
    const QString failed = QStringLiteral("%1音效使用失败!").arg(FromU16(r.name));
    if (!m_workspace->ApplyMyCustomEffect(slot)) {
        Tip(r.empty ? QStringLiteral("您尚未保存该音效！") : failed, true);
        return;
    }
    EffectApplied();
    AfterSent([this, failed](bool sent) {
        if (!sent) {
            Tip(failed, true);
        }
    });
}

void CEventHandlerEffect::AfterSent(std::function<void(bool)> fn) {
    std::weak_ptr<int> alive = m_alive;
    m_workspace->WhenSent([alive, fn = std::move(fn)](bool sent) {
        if (!alive.expired()) {
            fn(sent);
        }
    });
}

QAbstractButton* CEventHandlerEffect::EffectButton(int index) const {
    return index >= 0 && index < kEffectButtonCount ? m_effectButtons[static_cast<size_t>(index)]
                                                    : nullptr;
}

bool CEventHandlerEffect::IsButtonChecked(int index) const {
    const QAbstractButton* b = EffectButton(index);
    return b && b->isChecked();
}

void CEventHandlerEffect::RefreshEffectView() {
    if (!m_workspace || !m_window) {
        return;
    }
    m_workspace->ClearSelectedPresets();
    for (auto& button : m_effectButtons) {
        if (button) {
            button->setChecked(false);
        }
    }
    const model::EffectRecord& cur = m_workspace->CurrentEffect();
    const effects::EffectView view = effects::DeriveEffectView(cur, m_workspace->CustomEffects());
    if (QAbstractButton* button = EffectButton(view.checkedButton)) {
        button->setChecked(true);
    }
    if (m_effectTabs && view.effectPage >= 0 && view.effectPage < m_effectTabs->count()) {
        m_effectTabs->setCurrentIndex(view.effectPage);
    }
    if (m_forbidCommon && m_forbidElectric && m_forbidReverb) {
        Show(m_forbidCommon, view.covers.common);
        Show(m_forbidElectric, view.covers.electric);
        Show(m_forbidReverb, view.covers.reverb);
        Show(m_saveButton, view.covers.save);
        if (view.followVoiceTab && m_reverbTabs) {
            const int page = m_workspace->GetParam(model::kParamVoiceSwitch) != 0 ? 1 : 0;
            if (page < m_reverbTabs->count()) {
                m_reverbTabs->setCurrentIndex(page);
            }
        }
    }
    if (m_title) {
        m_title->setText(QStringLiteral("当前音效：%1").arg(FromU16(cur.name)));
    }
    MarkKxCurrent(m_kxAdapter.get(), cur, view.checkedButton >= 0);
    if (m_cloudPanel) {
        m_cloudPanel->MarkCurrent(model::RecordText(cur.source));
    }
}

void CEventHandlerEffect::RefreshButtonCaptions() {
    if (!m_workspace) {
        return;
    }
    for (int i = 0; i < kEffectButtonCount; ++i) {
        QAbstractButton* button = EffectButton(i);
        if (!button) {
            continue;
        }
        const model::EffectRecord* r = nullptr;
        if (i < kDeviceEffectButtons) {
            r = &m_workspace->BuiltinEffectList()[static_cast<size_t>(i)];
        } else {
            r = &m_workspace->CustomEffects()[static_cast<size_t>(i - kDeviceEffectButtons)];
            if (r->empty) {
                continue;  // keeps the layout's "自定义N"
            }
        }
        const uint32_t hotkey = StoredHotkey(kEffectButtonFirst + i);
        const effects::ButtonCaption c = effects::MakeButtonCaption(
            model::RecordText(r->name),
            hotkey != 0 ? toolkit::HotKeyText(hotkey).toStdU16String() : std::u16string());
        button->setText(FromU16(c.text));
        button->setToolTip(FromU16(c.tip));
    }
}

void CEventHandlerEffect::ApplyPreset(int id) {
    const int group = (id % 11000) / 100;
    const int item = id % 100;
    m_presetMarked = true;
    if (m_workspace) {
        m_workspace->ApplyGroupPreset(group, item);
    }
    MarkPreset(group - 1, item - 1);
    if (m_workspace) {
        m_workspace->SetSelectedPreset(group, item - 1);
    }
}

void CEventHandlerEffect::MarkPreset(int group, int item) {
    if (group < 0 || group >= kPresetGroups) {
        return;
    }
    const auto& buttons = m_presetButtons[static_cast<size_t>(group)];
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i]) {
            // Radios of one group would refuse to uncheck the last checked one.
            const bool exclusive = buttons[i]->autoExclusive();
            buttons[i]->setAutoExclusive(false);
            buttons[i]->setChecked(static_cast<int>(i) == item);
            buttons[i]->setAutoExclusive(exclusive);
        }
    }
}

void CEventHandlerEffect::ClearPresetMarks() {
    m_presetMarked = false;
    for (int g = 0; g < kPresetGroups; ++g) {
        MarkPreset(g, -1);
    }
}

void CEventHandlerEffect::OpenEqualiser() {
    if (!m_workspace) {
        return;
    }
    {
        CDlgEQ dialog(*m_workspace, m_window);
        m_runDialog(dialog);
    }
    RestoreBinding();
}

void CEventHandlerEffect::OpenReverbPitch() {
    if (!m_workspace) {
        return;
    }
    {
        CDlgReverbPitch dialog(*m_workspace, m_reverbTabs ? m_reverbTabs->currentIndex() : 0,
                               m_window);
        m_runDialog(dialog);
    }
    RestoreBinding();
}

void CEventHandlerEffect::OpenSaveEffect() {
    if (!m_workspace || !IsConnected()) {
        return;
    }
    CDlgSaveEffect dialog(*m_workspace, m_window);
    if (m_runDialog(dialog) == toolkit::IDOK) {
        RefreshButtonCaptions();
        Tip(QStringLiteral("保存音效成功！"), false);
    }
}

std::unique_ptr<toolkit::CMenu> CEventHandlerEffect::BuildEffectMenu(int id) const {
    const int index = id - kEffectButtonFirst;
    bool saved = true;
    if (index >= kDeviceEffectButtons && index < kEffectButtonCount && m_workspace) {
        saved =
            !m_workspace->CustomEffects()[static_cast<size_t>(index - kDeviceEffectButtons)].empty;
    }
    const bool hasHotkey = HotkeysOffered() && StoredHotkey(id) != 0;
    const effects::EffectMenuPlan plan =
        effects::PlanEffectMenu(index, saved, HotkeysOffered(), hasHotkey);
    if (!plan.show) {
        return nullptr;
    }
    auto menu = std::make_unique<toolkit::CMenu>();
    if (!menu->LoadMenu(QStringLiteral("SMENU:menu_effect"))) {
        return nullptr;
    }
    if (!plan.saveToDevice) {
        // The slots' submenu has no command of its own: it is found by its first entry.
        if (QAction* first = menu->FindItem(kMenuSaveToDeviceFirst)) {
            if (auto* sub = qobject_cast<QMenu*>(first->parent())) {
                menu->Native()->removeAction(sub->menuAction());
            }
        }
    }
    int at = 0;
    for (int command : plan.hotkeyEntries) {
        menu->InsertItem(at++, command, HotkeyEntryText(command));
    }
    return menu;
}

void CEventHandlerEffect::ShowEffectMenu(int id, const QPoint& screenPos) {
    m_menuTarget = id;
    if (std::unique_ptr<toolkit::CMenu> menu = BuildEffectMenu(id)) {
        // The choice comes back as a menu command of the window.
        menu->TrackPopupMenu(screenPos, m_window);
    }
}

bool CEventHandlerEffect::OnMenuCommand(int id) {
    if (id == effects::kCmdSetHotkey || id == effects::kCmdEditHotkey) {
        EditHotkey(m_menuTarget);
        return true;
    }
    if (id == effects::kCmdDeleteHotkey) {
        DeleteHotkey(m_menuTarget);
        return true;
    }
    if (id != effects::kCmdRemoteSlot1 && id != effects::kCmdRemoteSlot2) {
        return false;
    }
    QPointer<QWidget> window(m_window);  // the page lives as long as its window
    SaveMyEffectToSlot(id - 200, [this, window](bool saved) {
        if (window) {
            if (saved) {
                Tip(QStringLiteral("成功保存到设备"), false);
            } else {
                Tip(QStringLiteral("保存到设备失败"), true);
            }
        }
    });
    return true;
}

void CEventHandlerEffect::ShowToneBalance() {
    QWidget* slider = m_window ? m_window->FindChildByID(kToneSliderId) : nullptr;
    if (!slider || !m_workspace || !IsSlider(slider)) {
        return;
    }
    const int bass = m_workspace->GetParam(model::kParamExciterBass);
    const int treble = m_workspace->GetParam(model::kParamExciterTreble);
    if (bass == 100 && treble == 100) {
        SetSliderPos(slider, 0);
    } else if (bass == 100) {
        SetSliderPos(slider, treble / 10 - 10);
    } else if (treble == 100) {
        SetSliderPos(slider, 10 - bass / 10);
    }
}

void CEventHandlerEffect::OnParamChanged(const std::vector<std::pair<int32_t, int32_t>>& params) {
    if (!m_initialised) {
        return;
    }
    for (const auto& [id, value] : params) {
        if (id == model::kParamEffectNumber) {
            RefreshEffectView();
            return;
        }
    }
}

void CEventHandlerEffect::OnDeviceChanged() {
    // The "no card" overlay is the connection status page's. A new session may have brought
    // another current effect.
    if (!IsConnected()) {
        m_meters.DropAll();
    }
    EnableCardControls();
    if (m_initialised) {
        RefreshEffectView();
    }
}

void CEventHandlerEffect::EnableCardControls() {
    // What only the card can carry out is greyed while it is away, as the controls under the
    // "no card" cover are.
    const bool on = IsConnected();
    if (m_window) {
        for (int id : {kMixCheck, kRemoteSwitchId}) {
            if (QWidget* w = m_window->FindChildByID(id)) {
                w->setEnabled(on);
            }
        }
    }
    if (m_saveButton) {
        m_saveButton->setEnabled(on);
    }
}

void CEventHandlerEffect::OnLevelReport(std::span<const uint8_t> frame) {
    if (!m_window) {
        return;
    }
    if (m_window->isMinimized()) {
        m_meters.DropAll();
        return;
    }
    m_meters.OnReport(frame);
}

}  // namespace effects::ui
