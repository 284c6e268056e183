#include "effects/ui/DlgEQ.h"

#include <memory>

#include "ConnectionEvents.h"
#include "EqBands.h"
#include "ModelEvents.h"
#include "WorkSpace.h"
#include "effects/ui/PresetCaptions.h"
#include "ModelEvents.h"
#include "effects/ui/SavePresetLauncher.h"
#include "toolkit/Layouts.h"
#include "ui_XML_DLG_EQ.h"
#include "widgets/CTipWnd.h"
#include "widgets/QvEq.h"

namespace {

const QString kLayout = QStringLiteral("XML_DLG_EQ");

// The layout's name, registered first: the base class builds it.
const QString& EqLayout() {
    CDlgEQ::RegisterLayout();
    return kLayout;
}

}  // namespace

void CDlgEQ::RegisterLayout() {
    if (!toolkit::HasLayout(kLayout)) {
        VELORA_REGISTER_LAYOUT(XML_DLG_EQ);
    }
}

CDlgEQ::CDlgEQ(CWorkSpace& workspace, QWidget* owner)
    : toolkit::CHostDialog(EqLayout(), owner),
      m_ws(workspace),
      m_openSavePreset(&effects::ui::OpenSavePreset) {
    setObjectName(QStringLiteral("DlgEQWND"));
    m_paramSubscription = ccm_util::CEventSubscription::Of<EventParamChanged>(
        [this](const EventParamChanged& e) { OnParamChanged(e); });
    m_deviceSubscription = ccm_util::CEventSubscription::Of<EventDeviceChanged>(
        [this](const EventDeviceChanged&) { ShowDeviceState(); });

    Events().OnCommand(QStringLiteral("btn_close"), [this] { EndDialog(toolkit::IDCANCEL); });
    Events().OnRange(toolkit::EventKind::Command, 11100, 11110,
                     [this](const toolkit::ControlEvent& e) { OnPresetCommand(e.controlId); });
    Events().OnCommand(kRestore, [this] { OnRestore(); });
    Events().OnCommand(kSavePreset, [this] { OnSavePreset(); });

    BindBands();
    LoadCurve();
    for (int i = 0; i < kPresetCount; ++i) {
        m_presets[size_t(i)] = FindChildByID<QAbstractButton>(kPresetFirst + i);
    }
    m_ws.RefreshControls();
    RefreshCustomCaptions();
    CheckPresetAt(m_ws.GetSelectedPreset(kGroup));
    m_overlay = FindChildByName(QStringLiteral("forbid_device_conn_status"));
    ShowDeviceState();
}

CDlgEQ::~CDlgEQ() = default;

QAbstractButton* CDlgEQ::PresetButton(int position) const {
    return position >= 1 && position <= kPresetCount ? m_presets[size_t(position - 1)] : nullptr;
}

void CDlgEQ::done(int result) {
    // The page under the dialog takes the card's values again as soon as it closes.
    m_binder.Detach();
    toolkit::CHostDialog::done(result);
}

void CDlgEQ::BindBands() {
    QWidget* container = FindChildByName(QStringLiteral("eq_param"));
    m_binder.Attach(&m_ws, container ? container : this);
    for (int n = 0; n < eq::kCardBands; ++n) {
        const int param = model::kParamEqFirst + n;
        m_binder.Bind(param, -1, kSliderFirst + n, kTextFirst + n);
        m_binder.Bind(param, effects::kBindEdit, kTextFirst + n, kSliderFirst + n);
    }
}

void CDlgEQ::LoadCurve() {
    m_eq = FindChildByName<QvEQ>(QStringLiteral("eq_curve"));
    if (!m_eq) {
        return;  // the dialog works without a curve
    }
    eq::LoadCardBands(m_eq->Model(), m_ws);
    m_eq->UpdateCurve();
}

void CDlgEQ::ShowDeviceState() {
    if (m_overlay) {
        m_overlay->setVisible(!m_ws.IsCardReady());
    }
}

void CDlgEQ::OnParamChanged(const EventParamChanged& e) {
    if (!m_eq) {
        return;
    }
    bool changed = false;
    for (const auto& [id, value] : e.params) {
        changed = eq::ShowParam(m_eq->Model(), id, value) || changed;
    }
    if (changed) {
        m_eq->UpdateCurve();  // one repaint per frame however many edits arrive
    }
}

bool CDlgEQ::OnControlEvent(const toolkit::ControlEvent& ev) {
    if (Events().Route(ev) || m_binder.OnEvent(ev)) {
        return true;
    }
    return toolkit::CHostDialog::OnControlEvent(ev);
}

void CDlgEQ::OnPresetCommand(int id) {
    const int group = (id % 11000) / 100;
    const int index = id % 100;
    if (m_ws.ApplyGroupPreset(group, index) || index < CWorkSpace::kPresetCustomFirst ||
        index > CWorkSpace::kPresetCustomFirst + 3) {
        CheckPresetAt(index - 1);
        m_ws.SetSelectedPreset(group, index - 1);
        ccm_util::EventBus::Instance().Post(
            std::make_shared<EventUpdatePresetBtnStatu>(group, index));
    } else {
        CTipWnd::ShowTipOnWindow(this, QStringLiteral("您尚未保存预设！"), true, 2000);
    }
}

void CDlgEQ::OnRestore() {
    int checked = 0;
    for (int i = 0; i < kPresetCount; ++i) {
        if (m_presets[size_t(i)] && m_presets[size_t(i)]->isChecked()) {
            checked = i + 1;
        }
    }
    if (checked > 0) {
        m_ws.ApplyGroupPreset(kGroup, checked);
    } else {
        m_ws.RestoreGroupFromEffect(kGroup);
    }
}

void CDlgEQ::OnSavePreset() {
    if (!m_openSavePreset || m_openSavePreset(this, m_ws, kGroup) != 1) {
        return;
    }
    CTipWnd::ShowTipOnWindow(this, QStringLiteral("保存成功！"), false, 2000);
    RefreshCustomCaptions();
    ccm_util::EventBus::Instance().Fire(EventUpdateCustomPresetName());
}

void CDlgEQ::RefreshCustomCaptions() {
    effects::ui::RefreshCustomPresetCaptions(m_ws, kGroup, m_presets);
}

void CDlgEQ::CheckPresetAt(int position) {
    if (position < 0 || position >= kPresetCount) {
        return;
    }
    for (int i = 0; i < kPresetCount; ++i) {
        if (QAbstractButton* b = m_presets[size_t(i)]) {
            b->setChecked(i == position);
        }
    }
}
