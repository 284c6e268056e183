#pragma once

#include "effects/ui/ControlBinderBase.h"

class CWorkSpace;

namespace effects::ui {

// Binds card parameters to the controls of one page or dialog (see CControlBinderBase) and
// talks to the workspace: the user's edits go to OnParamEdited, and while the binder is the
// workspace's active binder the workspace shows parameter values through it. The workspace must
// outlive the binder or Detach it first.
template <typename TWorkSpace>
class CParamControlBinder : public CControlBinderBase {
public:
    CParamControlBinder() = default;
    ~CParamControlBinder() override { Detach(); }

    // Controls are looked up under parent; the binder becomes the workspace's active binder.
    // Attaching again (after a dialog had its own binder) makes it active again.
    void Attach(TWorkSpace* workspace, QWidget* parent) {
        if (m_workspace && m_workspace != workspace) {
            m_workspace->UnregisterBinder(this);
        }
        m_workspace = workspace;
        if (workspace) {
            SetScope(parent, workspace->Descriptors(), workspace->SwitchDescriptorList());
            workspace->RegisterBinder(this);
        } else {
            SetScope(parent, {}, {});
        }
    }

    void Detach() {
        if (m_workspace) {
            m_workspace->UnregisterBinder(this);
            m_workspace = nullptr;
        }
    }

    TWorkSpace* WorkSpace() const { return m_workspace; }

protected:
    bool HasWorkSpace() const override { return m_workspace != nullptr; }
    void EditParam(int paramId, int value) override { m_workspace->OnParamEdited(paramId, value); }
    int CurrentValue(int paramId, int reported) const override {
        return m_workspace ? m_workspace->GetParam(paramId) : reported;
    }

private:
    TWorkSpace* m_workspace = nullptr;
};

}  // namespace effects::ui

// The binder the pages and dialogs embed: CParamControlBinder<CWorkSpace>.
using effects::ui::CParamControlBinder;
using CWorkSpaceBinder = CParamControlBinder<CWorkSpace>;
