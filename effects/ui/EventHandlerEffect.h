#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

#include "ccm_util/EventBus.h"
#include "effects/ui/ParamControlBinder.h"
#include "toolkit/PageController.h"

class CWorkSpace;
class QAbstractButton;
class QLabel;
class QTabWidget;

namespace effects::ui {

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
// card through the page's binder, the balance slider sets the exciter, and the effect buttons
// apply and show the current effect.
//
// Still to come on this page: level meters and their reports, preset buttons, the equaliser and
// reverb dialogs (which call RestoreBinding when they close), saving effects, hotkeys, the
// effect buttons' context menus, effect-file progress and the local and cloud effect lists.
class CEventHandlerEffect : public toolkit::IPageController {
public:
    static constexpr int kEffectButtonFirst = 10000;
    static constexpr int kEffectButtonCount = 19;
    static constexpr int kDeviceEffectButtons = 7;
    static constexpr int kToneSliderId = 8012;
    static constexpr int kRemoteSwitchId = 7022;

    explicit CEventHandlerEffect(CWorkSpace* workspace);
    ~CEventHandlerEffect() override;
    CEventHandlerEffect(const CEventHandlerEffect&) = delete;
    CEventHandlerEffect& operator=(const CEventHandlerEffect&) = delete;

    void Setup(toolkit::CHostWindow& window) override;
    bool OnWindowMessage(uint32_t msg, ccm_util::WPARAM wParam, ccm_util::LPARAM lParam) override;
    bool OnControlEvent(const toolkit::ControlEvent& event) override;

    // Makes the page's binder the workspace's active one again and shows the values: after a
    // dialog with its own binder closed, the page shows what was changed there.
    void RestoreBinding();

    void ApplyEffectButton(int id);
    // Derives the checked effect button, the tab pages, the grey overlays, the save button and the
    // title from the workspace's current effect.
    void RefreshEffectView();

    CEffectPageBinder& Binder() { return m_binder; }

private:
    void BindControls();
    void OnParamChanged(const std::vector<std::pair<int32_t, int32_t>>& params);
    void OnDeviceChanged();
    void ShowToneBalance();
    QAbstractButton* EffectButton(int index) const;
    void ShowOverlays(int effectNumber, bool downloaded);

    CWorkSpace* m_workspace;
    CEffectPageBinder m_binder;
    toolkit::CHostWindow* m_window = nullptr;
    std::array<QPointer<QAbstractButton>, kEffectButtonCount> m_effectButtons;
    QPointer<QLabel> m_title;
    QPointer<QTabWidget> m_effectTabs;
    QPointer<QTabWidget> m_reverbTabs;
    QPointer<QWidget> m_saveButton;
    QPointer<QWidget> m_forbidCommon;
    QPointer<QWidget> m_forbidElectric;
    QPointer<QWidget> m_forbidReverb;
    bool m_initialised = false;
    ccm_util::CEventSubscription m_paramSubscription;
    ccm_util::CEventSubscription m_deviceSubscription;
};

}  // namespace effects::ui

using effects::ui::CEventHandlerEffect;
