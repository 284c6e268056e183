#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <array>
#include <functional>

#include "ccm_util/EventBus.h"
#include "effects/ui/ParamControlBinder.h"
#include "toolkit/HostWindow.h"
#include "widgets/QvEq.h"

class CWorkSpace;
class EventParamChanged;

// The equaliser dialog ("LAYOUT:XML_DLG_EQ"): the fifteen band gains (parameters 9-23) on
// sliders with their dB boxes, the response curve following them, and the presets of the
// equaliser group (apply, restore, save). While it is open its binder is the workspace's active
// one; the workspace must outlive it. Shown modally by the effects page.
class CDlgEQ : public toolkit::CHostDialog {
    Q_OBJECT
public:
    static constexpr int kGroup = 1;  // the equaliser's preset group
    static constexpr int kSliderFirst = 2025;
    static constexpr int kTextFirst = 6025;
    static constexpr int kPresetFirst = 11101;
    static constexpr int kPresetCount = 8;
    static constexpr int kSavePreset = 12001;
    static constexpr int kRestore = 13001;

    // Opens the save-preset dialog for a group over a parent; 1 when a preset was saved.
    using SavePresetOpener = std::function<int(QWidget*, CWorkSpace&, int)>;

    explicit CDlgEQ(CWorkSpace& workspace, QWidget* owner = nullptr);
    ~CDlgEQ() override;

    // Registers "XML_DLG_EQ" with the toolkit (once; the dialog does it when it is first built).
    static void RegisterLayout();

    QvEQ* Curve() const { return m_eq; }
    QAbstractButton* PresetButton(int position) const;  // 1-8
    CWorkSpaceBinder& Binder() { return m_binder; }
    void SetSavePresetOpener(SavePresetOpener opener) { m_openSavePreset = std::move(opener); }

    void done(int result) override;

protected:
    bool OnControlEvent(const toolkit::ControlEvent& ev) override;

private:
    void BindBands();
    void LoadCurve();
    void ShowDeviceState();
    void OnParamChanged(const EventParamChanged& e);
    void OnPresetCommand(int id);
    void OnRestore();
    void OnSavePreset();
    void RefreshCustomCaptions();
    // Checks the button at position 0-7 and clears the others; other positions change nothing.
    void CheckPresetAt(int position);

    CWorkSpace& m_ws;
    CWorkSpaceBinder m_binder;
    QPointer<QvEQ> m_eq;
    std::array<QAbstractButton*, kPresetCount> m_presets{};
    QPointer<QWidget> m_overlay;
    SavePresetOpener m_openSavePreset;
    ccm_util::CEventSubscription m_paramSubscription;
    ccm_util::CEventSubscription m_deviceSubscription;
};
