#pragma once

#include <array>

#include "ccm_util/EventBus.h"
#include "effects/ui/ParamControlBinder.h"
#include "toolkit/HostWindow.h"

class CWorkSpace;
class QAbstractButton;

namespace effects::ui {

// The reverb and voice dialog: knobs for the reverb (29, 30, 32, 35, 36) and voice (26, 27, 28)
// parameters, and the presets of groups 2 and 3 applied, restored and saved. Its binder is the
// workspace's active binder while it lives; the caller makes its own active again afterwards.
class CDlgReverbPitch : public toolkit::CHostDialog {
    Q_OBJECT
public:
    static constexpr int kGroupReverb = 2;
    static constexpr int kGroupVoice = 3;

    // firstPage: 0 reverb, 1 voice.
    CDlgReverbPitch(CWorkSpace& workspace, int firstPage, QWidget* parent = nullptr);
    ~CDlgReverbPitch() override;

    CWorkSpaceBinder& Binder() { return m_binder; }
    QAbstractButton* PresetRadio(int group, int position) const;

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override;
    void showEvent(QShowEvent* event) override;

private:
    void BindKnobs();
    void OnPresetRadio(int id);
    void OnSavePreset(int group);
    void OnRestore(int group);
    void CheckPresetRadio(int group, int position);
    void RefreshCustomCaptions();
    void UpdateDeviceCover();

    CWorkSpace& m_workspace;
    CWorkSpaceBinder m_binder;
    std::array<QAbstractButton*, 8> m_reverbRadios{};
    std::array<QAbstractButton*, 8> m_voiceRadios{};
    ccm_util::CEventSubscription m_deviceChanged;
};

}  // namespace effects::ui
