#include "effects/ui/DlgReverbPitch.h"

#include <QAbstractButton>
#include <QTabBar>
#include <QTabWidget>
#include <memory>

#include "ModelEvents.h"
#include "ParamBinding.h"
#include "PresetRadios.h"
#include "WorkSpace.h"
#include "ConnectionEvents.h"
#include "effects/ui/SavePresetLauncher.h"
#include "widgets/CTipWnd.h"

namespace effects::ui {

namespace {

constexpr int kSaveReverb = 12002;
constexpr int kSaveVoice = 12003;
constexpr int kRestoreReverb = 13002;
constexpr int kRestoreVoice = 13003;
constexpr int kTipMs = 2000;

// Parameter, knob, value box.
constexpr struct {
    int param;
    int knob;
    int text;
} kKnobs[] = {{27, 8016, 6016}, {28, 8017, 6017}, {35, 8020, 6020},
              {32, 8022, 6022}, {30, 8023, 6023}, {36, 8038, 6038}};

}  // namespace

CDlgReverbPitch::CDlgReverbPitch(CWorkSpace& workspace, int firstPage, QWidget* parent)
    : CHostDialog(QStringLiteral("LAYOUT:XML_REVERB_PITCH"), parent), m_workspace(workspace) {
    setObjectName(QStringLiteral("DlgReverbPitchWnd"));
    auto* content = FindChildByName<QTabWidget>(QStringLiteral("tab_reverb_pitch"));
    auto* caption = FindChildByName<QTabWidget>(QStringLiteral("tab_caption"));
    if (content) {
        content->tabBar()->hide();  // the caption tabs switch the pages
    }

    BindKnobs();

    for (int p = 1; p <= kPresetPositions; ++p) {
        m_reverbRadios[static_cast<size_t>(p - 1)] =
            FindChildByID<QAbstractButton>(PresetRadioId(kGroupReverb, p));
        m_voiceRadios[static_cast<size_t>(p - 1)] =
            FindChildByID<QAbstractButton>(PresetRadioId(kGroupVoice, p));
    }
    m_workspace.RefreshControls();
    RefreshCustomCaptions();
    for (int group : {kGroupReverb, kGroupVoice}) {
        const int selected = m_workspace.GetSelectedPreset(group);
        if (selected >= 0 && selected < kPresetPositions) {
            CheckPresetRadio(group, selected + 1);
        }
    }

    if (content && firstPage >= 0 && firstPage < content->count()) {
        content->setCurrentIndex(firstPage);
        if (caption && firstPage < caption->count()) {
            caption->setCurrentIndex(firstPage);
        }
    }
    UpdateDeviceCover();

    m_deviceChanged = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { UpdateDeviceCover(); });

    auto& events = Events();
    events.On(toolkit::EventKind::TabSelChanged, QStringLiteral("tab_caption"),
              [content](const toolkit::ControlEvent& ev) {
                  if (content && ev.value >= 0 && ev.value < content->count()) {
                      content->setCurrentIndex(ev.value);
                  }
              });
    events.OnRange(toolkit::EventKind::Command, kPresetRadioBase, kPresetRadioLast,
                   [this](const toolkit::ControlEvent& ev) { OnPresetRadio(ev.controlId); });
    events.OnCommand(kSaveReverb, [this] { OnSavePreset(kGroupReverb); });
    events.OnCommand(kSaveVoice, [this] { OnSavePreset(kGroupVoice); });
    events.OnCommand(kRestoreReverb, [this] { OnRestore(kGroupReverb); });
    events.OnCommand(kRestoreVoice, [this] { OnRestore(kGroupVoice); });
    events.OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDOK); });
}

CDlgReverbPitch::~CDlgReverbPitch() = default;

void CDlgReverbPitch::BindKnobs() {
    QWidget* container = FindChildByName(QStringLiteral("reverb_pitch_param"));
    m_binder.Attach(&m_workspace, container ? container : this);
    for (const auto& k : kKnobs) {
        m_binder.Bind(k.param, -1, k.knob, k.text);
        m_binder.Bind(k.param, kBindEdit, k.text, k.knob);
    }
}

bool CDlgReverbPitch::OnControlEvent(const toolkit::ControlEvent& ev) {
    if (Events().Route(ev)) {
        return true;
    }
    if (ev.kind == toolkit::EventKind::Command &&
        (ev.controlId == toolkit::IDOK || ev.controlId == toolkit::IDCANCEL)) {
        EndDialog(ev.controlId);
        return true;
    }
    return m_binder.OnEvent(ev);
}

void CDlgReverbPitch::showEvent(QShowEvent* event) {
    CHostDialog::showEvent(event);
    // No value box starts in edit mode: the dialog itself takes the keyboard (Escape closes it).
    setFocus(Qt::OtherFocusReason);
}

QAbstractButton* CDlgReverbPitch::PresetRadio(int group, int position) const {
    if (position < 1 || position > kPresetPositions) {
        return nullptr;
    }
    const auto& radios = group == kGroupReverb ? m_reverbRadios : m_voiceRadios;
    return (group == kGroupReverb || group == kGroupVoice)
               ? radios[static_cast<size_t>(position - 1)]
               : nullptr;
}

void CDlgReverbPitch::OnPresetRadio(int id) {
    const auto radio = PresetRadioFromId(id);
    if (!radio || (radio->group != kGroupReverb && radio->group != kGroupVoice)) {
        return;
    }
    const bool applied = m_workspace.ApplyGroupPreset(radio->group, radio->position);
    if (!MarksPreset(applied, radio->position)) {
        CTipWnd::ShowTipOnWindow(this, QStringLiteral("您尚未保存预设！"), true, kTipMs);
        return;
    }
    CheckPresetRadio(radio->group, radio->position);
    m_workspace.SetSelectedPreset(radio->group, radio->position - 1);
    ccm_util::EventBus::Instance().Post(
        std::make_shared<EventUpdatePresetBtnStatu>(radio->group, radio->position));
}

void CDlgReverbPitch::OnSavePreset(int group) {
    if (OpenSavePreset(this, m_workspace, group) == toolkit::IDOK) {
        CTipWnd::ShowTipOnWindow(this, QStringLiteral("保存成功！"), false, kTipMs);
        RefreshCustomCaptions();
    }
}

void CDlgReverbPitch::OnRestore(int group) {
    int checked = 0;
    for (int p = 1; p <= kPresetPositions; ++p) {
        if (auto* radio = PresetRadio(group, p); radio && radio->isChecked()) {
            checked = p;
        }
    }
    if (checked > 0) {
        m_workspace.ApplyGroupPreset(group, checked);
    } else {
        m_workspace.RestoreGroupFromEffect(group);
    }
}

void CDlgReverbPitch::CheckPresetRadio(int group, int position) {
    // The radios do not check themselves; one preset of a group is marked at a time.
    for (int p = 1; p <= kPresetPositions; ++p) {
        if (auto* radio = PresetRadio(group, p)) {
            radio->setChecked(p == position);
        }
    }
}

void CDlgReverbPitch::RefreshCustomCaptions() {
    for (int group : {kGroupReverb, kGroupVoice}) {
        for (const auto& c : CustomPresetCaptions(m_workspace.GroupPresets(group))) {
            if (auto* radio = PresetRadio(group, c.position)) {
                radio->setText(QString::fromStdU16String(c.text));
                radio->setToolTip(QString::fromStdU16String(c.tip));
            }
        }
    }
}

void CDlgReverbPitch::UpdateDeviceCover() {
    if (auto* cover = FindChildByName(QStringLiteral("forbid_device_conn_status"))) {
        cover->setVisible(!m_workspace.IsCardReady());
        cover->raise();
    }
}

}  // namespace effects::ui
