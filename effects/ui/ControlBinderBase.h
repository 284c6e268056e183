#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "IParamControlBinder.h"
#include "ParamBinding.h"
#include "ParamTables.h"
#include "toolkit/ControlEvent.h"

namespace effects::ui {

class CDragWatch;

// Everything of a parameter binder that does not depend on the workspace type: the bindings of
// the controls under one parent window, showing values on them, and turning the user's actions
// on them into parameter edits (EditParam). CParamControlBinder adds the workspace.
class CControlBinderBase : public IParamControlBinder {
public:
    CControlBinderBase();
    ~CControlBinderBase() override;
    CControlBinderBase(const CControlBinderBase&) = delete;
    CControlBinderBase& operator=(const CControlBinderBase&) = delete;

    // Binds a control (found by its id under the parent) to a parameter and initialises it from
    // the descriptor. kind -1 takes the descriptor's kind. linkedId: a second control showing the
    // same value; partnerId: a switch cleared when this slider leaves 0. Rebinding a control
    // replaces its old binding. False for an unknown parameter.
    bool Bind(int paramId, int kind, int controlId, int linkedId = 0, int partnerId = 0);
    // Binds a control to one bit of a parameter, from switch descriptor switchIndex.
    bool BindSwitch(int switchIndex, int controlId, int paramId);

    // Shows a raw parameter value on a control: on its linked control too, and for a shared value
    // on every control of the parameter. While the user holds a slider of that parameter the value
    // waits and the parameter's value at the release is shown instead.
    void ShowControlValue(int controlId, int value);

    // A control event from the owner; true when it became a parameter edit (or was taken).
    virtual bool OnEvent(const toolkit::ControlEvent& e);

    // IParamControlBinder: the workspace shows a parameter on the control bound last for it.
    bool HasControl(int paramId) const override;
    void ShowValue(int paramId, int value) override;

    const BindingRecord* Binding(int controlId) const;
    QWidget* Parent() const { return m_parent; }

protected:
    // The window under which controls are looked up, and the descriptors bindings are made from.
    // Another parent drops the bindings made under the old one.
    void SetScope(QWidget* parent, std::span<const model::ParamDescriptor> descriptors,
                  std::span<const model::ParamDescriptor> switches);

    // The user holds a slider of the parameter: values shown now wait for the release.
    bool IsParamHeld(int paramId) const;

    virtual bool HasWorkSpace() const = 0;
    virtual void EditParam(int paramId, int value) = 0;
    // The parameter's value now; shown when the drag that held a report back ends.
    virtual int CurrentValue(int paramId, int reported) const = 0;

private:
    struct Bound {
        BindingRecord rec;
        QPointer<QWidget> control;
    };
    class CBusy;

    void Store(BindingRecord rec);
    void Forget(int controlId);
    void Initialise(const Bound& b);
    void ShowPart(const BindingRecord& rec, QWidget* control, int part);
    void ShowOnLinked(const Bound& b, int raw);
    void Apply(const Bound& b, int raw);
    int Combined(const Bound& acting, int raw) const;
    void ClearPartner(const Bound& b);
    // The value the user typed into (or stepped in) an edit box: taken when it is a number of the
    // parameter's range and differs from the parameter's value; anything else shows the value.
    void TakeTypedValue(const Bound& b, QWidget* w, int step);
    // The parameter's value now, as this control shows it (its part of a shared value).
    int CurrentPart(const BindingRecord& r) const;
    void OnReleased(QWidget* control);
    const model::ParamDescriptor* Descriptor(int paramId) const;

    QPointer<QWidget> m_parent;
    std::vector<model::ParamDescriptor> m_descriptors;
    std::vector<model::ParamDescriptor> m_switches;

    std::map<int, Bound> m_bound;       // control id → binding
    std::multimap<int, int> m_byParam;  // parameter id → control ids
    std::map<int, int> m_lastBound;     // parameter id → the control bound last
    std::map<int, int> m_heldBack;      // parameter id → value reported during a drag
    std::unique_ptr<CDragWatch> m_drag;

    bool m_busy = false;       // the binder itself is changing controls
    bool m_listEvents = true;  // cleared while the binder selects a list item
};

}  // namespace effects::ui
