#include "effects/ui/EventHandlerEffect.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTabWidget>

#include "Log/Log.h"
#include "ModelEvents.h"
#include "WorkSpace.h"
#include "app/core/ConnectionEvents.h"
#include "effects/ui/BoundControls.h"
#include "toolkit/HostWindow.h"
#include "widgets/CTipWnd.h"

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

// The device effect button of each card effect number 0..6.
constexpr int kButtonOfEffectNumber[] = {1, 2, 3, 4, 0, 5, 6};

QString FromU16(const char16_t* text) {
    return QString::fromUtf16(text);
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

CEventHandlerEffect::CEventHandlerEffect(CWorkSpace* workspace) : m_workspace(workspace) {
    m_paramSubscription = ccm_util::CEventSubscription::Of<EventParamChanged>(
        [this](const EventParamChanged& e) { OnParamChanged(e.params); });
    m_deviceSubscription = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { OnDeviceChanged(); });
}

CEventHandlerEffect::~CEventHandlerEffect() = default;

void CEventHandlerEffect::Setup(toolkit::CHostWindow& window) {
    m_window = &window;
    BindControls();
    // The flush timer of the workspace belongs to the application, which outlives this window.
    for (int i = 0; i < kEffectButtonCount; ++i) {
        m_effectButtons[static_cast<size_t>(i)] =
            window.FindChildByID<QAbstractButton>(kEffectButtonFirst + i);
    }
    m_title = window.FindChildByName<QLabel>(QStringLiteral("txt_eff_title"));
    m_effectTabs = window.FindChildByName<QTabWidget>(QStringLiteral("tab_effect"));
    m_reverbTabs = window.FindChildByName<QTabWidget>(QStringLiteral("tab_reverb_pitch"));
    m_saveButton = window.FindChildByName(QStringLiteral("save_effect_btn"));
    m_forbidCommon = window.FindChildByName(QStringLiteral("forbid_not_commom_param"));
    m_forbidElectric = window.FindChildByName(QStringLiteral("forbid_not_electric_param"));
    m_forbidReverb = window.FindChildByName(QStringLiteral("forbid_reverb_param"));
    if (QWidget* progress = window.FindChildByName(QStringLiteral("progress_eff_download"))) {
        progress->hide();
    }
    OnDeviceChanged();
    if (m_workspace) {
        m_workspace->RefreshControls();
    }
    RefreshEffectView();
    ShowToneBalance();
    m_initialised = true;
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

bool CEventHandlerEffect::OnWindowMessage(uint32_t, ccm_util::WPARAM, ccm_util::LPARAM) {
    return false;
}

bool CEventHandlerEffect::OnControlEvent(const toolkit::ControlEvent& e) {
    if (!m_window) {
        return false;
    }
    const int id = e.controlId;
    if (e.kind == toolkit::EventKind::SliderPos && id == kToneSliderId) {
        if (m_workspace) {
            m_workspace->SetExciterBalance(e.value);
        }
        return true;
    }
    if (e.kind == toolkit::EventKind::Command && id >= kEffectButtonFirst &&
        id < kEffectButtonFirst + kEffectButtonCount) {
        ApplyEffectButton(id);
        return true;
    }
    if (e.kind == toolkit::EventKind::StateChanged && id == kRemoteSwitchId) {
        return true;  // its click is the edit
    }
    return m_binder.OnEvent(e);
}

void CEventHandlerEffect::ApplyEffectButton(int id) {
    if (!m_workspace) {
        return;
    }
    const int index = id - kEffectButtonFirst;
    if (index >= 0 && index < kDeviceEffectButtons) {
        // Without a card the workspace refuses; the page shows its state all the same.
        m_workspace->ApplyBuiltinEffect(index);
        RefreshEffectView();
        return;
    }
    const int slot = index - kDeviceEffectButtons;
    if (slot < 0 || slot >= CWorkSpace::kCustomSlots) {
        return;
    }
    if (!m_workspace->ApplyMyCustomEffect(slot)) {
        const model::EffectRecord& r = m_workspace->CustomEffects()[static_cast<size_t>(slot)];
        CTipWnd::ShowTipOnWindow(m_window,
                                 r.empty ? QStringLiteral("您尚未保存该音效！")
                                         : QStringLiteral("%1音效使用失败!").arg(FromU16(r.name)),
                                 true);
        return;
    }
    RefreshEffectView();
}

QAbstractButton* CEventHandlerEffect::EffectButton(int index) const {
    return index >= 0 && index < kEffectButtonCount ? m_effectButtons[static_cast<size_t>(index)]
                                                    : nullptr;
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
    const int number = cur.params[model::kParamEffectNumber];
    int checked = -1;
    int effectPage = -1;
    if (cur.downloaded) {
        if (number == 5 || number == 6) {
            checked = number;
            effectPage = 0;
        } else if (number > 64) {
            const QString source = FromU16(cur.source);
            const auto& custom = m_workspace->CustomEffects();
            for (size_t s = 0; s < custom.size(); ++s) {
                if (FromU16(custom[s].source).compare(source, Qt::CaseInsensitive) == 0) {
                    checked = kDeviceEffectButtons + static_cast<int>(s);
                    effectPage = 1;
                    break;
                }
            }
        }
    } else if (number >= 0 && number <= 6) {
        checked = kButtonOfEffectNumber[number];
        effectPage = 0;
    } else {
        if (cur.slotTag >= 0 && cur.slotTag <= 13) {
            checked = cur.slotTag + 5;
        }
        effectPage = 1;
    }
    if (QAbstractButton* button = EffectButton(checked)) {
        button->setChecked(true);
    }
    if (m_effectTabs && effectPage >= 0 && effectPage < m_effectTabs->count()) {
        m_effectTabs->setCurrentIndex(effectPage);
    }
    ShowOverlays(number, cur.downloaded != 0);
    if (!cur.downloaded && m_reverbTabs) {
        const int page = m_workspace->GetParam(model::kParamVoiceSwitch) != 0 ? 1 : 0;
        if (page < m_reverbTabs->count()) {
            m_reverbTabs->setCurrentIndex(page);
        }
    }
    if (m_title) {
        m_title->setText(QStringLiteral("当前音效：%1").arg(FromU16(cur.name)));
    }
}

void CEventHandlerEffect::ShowOverlays(int number, bool downloaded) {
    if (!m_forbidCommon || !m_forbidElectric || !m_forbidReverb) {
        return;
    }
    auto show = [](QWidget* w, bool visible) {
        if (w) {
            w->setVisible(visible);
        }
    };
    if (downloaded) {
        // A downloaded effect carries its own sound: only the mixer stays editable.
        show(m_forbidCommon, true);
        show(m_forbidElectric, false);
        show(m_forbidReverb, false);
        show(m_saveButton, false);
        return;
    }
    switch (((number % 16) + 16) % 16) {
        case 2:
        case 4:
            show(m_forbidCommon, false);
            show(m_forbidReverb, true);
            show(m_saveButton, true);
            break;
        case 3:
        case 5:
        case 6:
            show(m_forbidCommon, true);
            show(m_forbidElectric, false);
            show(m_forbidReverb, false);
            show(m_saveButton, false);
            break;
        case 8:
            show(m_forbidCommon, false);
            show(m_forbidElectric, true);
            show(m_saveButton, false);
            break;
        default:
            show(m_forbidCommon, false);
            show(m_forbidElectric, false);
            show(m_forbidReverb, false);
            show(m_saveButton, true);
            break;
    }
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
    // The "no card" overlay is the connection status page's; the level meters' reset comes with
    // the meters. A new session may have brought another current effect.
    if (m_initialised) {
        RefreshEffectView();
    }
}

}  // namespace effects::ui
