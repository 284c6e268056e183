#include "effects/ui/ControlBinderBase.h"

#include <algorithm>

#include "Log/Log.h"
#include "effects/ui/BoundControls.h"
#include "effects/ui/DragWatch.h"
#include "effects/ui/ValueBoxLimit.h"
#include "toolkit/Controls.h"

#define LOG_SOURCE "effects\\ui\\ControlBinderBase"

namespace effects::ui {

// Marks the binder as changing controls itself, so that the events this causes are ignored.
class CControlBinderBase::CBusy {
public:
    explicit CBusy(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~CBusy() { m_flag = m_old; }
    CBusy(const CBusy&) = delete;
    CBusy& operator=(const CBusy&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

namespace {
QString ToQString(const std::u16string& s) {
    return QString::fromStdU16String(s);
}
}  // namespace

CControlBinderBase::CControlBinderBase()
    : m_drag(std::make_unique<CDragWatch>([this](QWidget* w) { OnReleased(w); })) {}

CControlBinderBase::~CControlBinderBase() = default;

void CControlBinderBase::SetScope(QWidget* parent,
                                  std::span<const model::ParamDescriptor> descriptors,
                                  std::span<const model::ParamDescriptor> switches) {
    if (parent != m_parent) {
        m_bound.clear();
        m_byParam.clear();
        m_lastBound.clear();
        m_heldBack.clear();
    }
    m_parent = parent;
    m_descriptors.assign(descriptors.begin(), descriptors.end());
    m_switches.assign(switches.begin(), switches.end());
}

const model::ParamDescriptor* CControlBinderBase::Descriptor(int paramId) const {
    auto it = std::find_if(m_descriptors.begin(), m_descriptors.end(),
                           [paramId](const model::ParamDescriptor& d) { return d.id == paramId; });
    return it == m_descriptors.end() ? nullptr : &*it;
}

bool CControlBinderBase::Bind(int paramId, int kind, int controlId, int linkedId, int partnerId) {
    const model::ParamDescriptor* d = Descriptor(paramId);
    if (!d) {
        VLOG_ERROR("binder", "CParamControlBinder::Bind", "no parameter %d for control %d", paramId,
                   controlId);
        return false;
    }
    Store(MakeBinding(*d, kind, controlId, linkedId, partnerId));
    return true;
}

bool CControlBinderBase::BindSwitch(int switchIndex, int controlId, int paramId) {
    if (switchIndex < 0 || switchIndex >= static_cast<int>(m_switches.size()) ||
        !Descriptor(paramId)) {
        VLOG_ERROR("binder", "CParamControlBinder::BindSwitch",
                   "no switch %d of parameter %d for control %d", switchIndex, paramId, controlId);
        return false;
    }
    Store(MakeSwitchBinding(m_switches[static_cast<size_t>(switchIndex)], controlId, paramId));
    return true;
}

void CControlBinderBase::Forget(int controlId) {
    auto old = m_bound.find(controlId);
    if (old == m_bound.end()) {
        return;
    }
    const int param = old->second.rec.paramId;
    auto [first, last] = m_byParam.equal_range(param);
    for (auto it = first; it != last; ++it) {
        if (it->second == controlId) {
            m_byParam.erase(it);
            break;
        }
    }
    auto lastBound = m_lastBound.find(param);
    if (lastBound != m_lastBound.end() && lastBound->second == controlId) {
        auto other = m_byParam.find(param);
        if (other == m_byParam.end()) {
            m_lastBound.erase(lastBound);
        } else {
            lastBound->second = other->second;
        }
    }
    m_bound.erase(old);
}

void CControlBinderBase::Store(BindingRecord rec) {
    Forget(rec.controlId);
    const int controlId = rec.controlId;
    const int param = rec.paramId;
    Bound& b = m_bound[controlId];
    b.rec = std::move(rec);
    b.control = toolkit::FindChildById(m_parent, controlId);
    m_byParam.emplace(param, controlId);
    m_lastBound[param] = controlId;
    if (b.control && IsSliderKind(b.rec.kind) && IsSlider(b.control)) {
        m_drag->Watch(b.control);
    }
    if (b.control && b.rec.kind == kBindEdit && IsEditControl(b.control)) {
        LimitTyping(b.control, b.rec);
    }
    Initialise(b);
}

void CControlBinderBase::Initialise(const Bound& b) {
    QWidget* w = b.control;
    if (!w) {
        return;  // a binding without its control stays, the control is simply not there
    }
    CBusy busy(m_busy);
    const BindingRecord& r = b.rec;
    const int v = r.sharedBits ? OwnPart(r, r.initial) : r.initial;
    switch (r.kind) {
        case kBindSlider:
        case kBindKnob:
            if (IsSlider(w)) {
                SetSliderRange(w, r.minimum, r.maximum);
                SetSliderPos(w, v);
            }
            break;
        case kBindCombo:
            m_listEvents = false;
            FillChoices(w, SplitChoices(r.choices));
            SelectItem(w, v);
            m_listEvents = true;
            break;
        case kBindCheck:
        case kBindSwitch:
            SetChecked(w, v != 0);
            break;
        case kBindOption: {
            const QStringList choices = SplitChoices(r.choices);
            const int option = OptionNumber(r.controlId);
            if (option < choices.size()) {
                SetText(w, choices[option]);
            }
            SetChecked(w, option == v);
            break;
        }
        case kBindText:
        case kBindEdit:
            SetText(w, ToQString(InitialText(r, v)));
            break;
        default:
            break;
    }
}

void CControlBinderBase::ShowPart(const BindingRecord& r, QWidget* w, int part) {
    CBusy busy(m_busy);
    switch (r.kind) {
        case kBindSlider:
        case kBindKnob:
            if (w) {
                // Out-of-range values (a damaged record) show as the nearest end of the range.
                SetSliderPos(w, ValueToText(r.scale * static_cast<double>(part) + r.offset, r).raw);
            }
            break;
        case kBindCombo:
            if (w) {
                m_listEvents = false;
                SelectItem(w, part);
                m_listEvents = true;
            }
            break;
        case kBindCheck:
        case kBindSwitch:
            if (w) {
                SetChecked(w, part != 0);
            }
            break;
        case kBindOption:
            // The button of that option in the same set, which need not be this control.
            SetChecked(toolkit::FindChildById(m_parent, OptionControlId(r.controlId, part)), true);
            break;
        case kBindText:
        case kBindEdit:
            if (w) {
                SetText(
                    w,
                    ToQString(ValueToText(r.scale * static_cast<double>(part) + r.offset, r).text));
            }
            break;
        default:
            break;
    }
}

void CControlBinderBase::ShowOnLinked(const Bound& b, int raw) {
    if (b.rec.linkedId == 0) {
        return;
    }
    auto linked = m_bound.find(b.rec.linkedId);
    if (linked != m_bound.end()) {
        ShowPart(linked->second.rec, linked->second.control, raw);
        return;
    }
    // A linked control without a binding of its own shows this binding's value by its class.
    QWidget* w = toolkit::FindChildById(m_parent, b.rec.linkedId);
    if (w) {
        BindingRecord r = b.rec;
        r.kind = KindOfWidget(w);
        ShowPart(r, w, raw);
    }
}

void CControlBinderBase::ShowControlValue(int controlId, int value) {
    auto it = m_bound.find(controlId);
    if (it == m_bound.end()) {
        return;
    }
    const Bound& b = it->second;
    const int param = b.rec.paramId;
    if (IsParamHeld(param)) {
        m_heldBack[param] = value;
        return;
    }
    m_heldBack.erase(param);
    if (!b.rec.sharedBits) {
        ShowPart(b.rec, b.control, value);
        ShowOnLinked(b, value);
        return;
    }
    // Each control shows its own part (level, mute bit, …) in its own units.
    auto [first, last] = m_byParam.equal_range(param);
    for (auto p = first; p != last; ++p) {
        const Bound& o = m_bound.at(p->second);
        ShowPart(o.rec, o.control, OwnPart(o.rec, value));
    }
}

bool CControlBinderBase::HasControl(int paramId) const {
    return m_lastBound.count(paramId) != 0;
}

void CControlBinderBase::ShowValue(int paramId, int value) {
    auto it = m_lastBound.find(paramId);
    if (it != m_lastBound.end()) {
        ShowControlValue(it->second, value);
    }
}

const BindingRecord* CControlBinderBase::Binding(int controlId) const {
    auto it = m_bound.find(controlId);
    return it == m_bound.end() ? nullptr : &it->second.rec;
}

bool CControlBinderBase::IsParamHeld(int paramId) const {
    auto [first, last] = m_byParam.equal_range(paramId);
    for (auto p = first; p != last; ++p) {
        const Bound& o = m_bound.at(p->second);
        if (o.control && m_drag->IsHeld(o.control)) {
            return true;
        }
    }
    return false;
}

void CControlBinderBase::OnReleased(QWidget*) {
    const std::map<int, int> heldBack = m_heldBack;
    for (const auto& [param, reported] : heldBack) {
        if (!IsParamHeld(param)) {
            // The value now, not the one reported: an edit made after the report is what the
            // workspace holds and sends.
            ShowValue(param, CurrentValue(param, reported));
        }
    }
}

bool CControlBinderBase::OnEvent(const toolkit::ControlEvent& e) {
    if (m_busy || !m_parent) {
        return false;
    }
    auto it = m_bound.find(e.controlId);
    if (it == m_bound.end()) {
        return false;
    }
    const Bound& b = it->second;
    QWidget* w = e.sender ? e.sender.data() : b.control.data();
    switch (e.kind) {
        case toolkit::EventKind::KillFocus: {
            if (!IsEditControl(w)) {
                return false;
            }
            TakeTypedValue(b, w, 0);
            return true;
        }
        case toolkit::EventKind::ValueChanging: {
            if (!IsEditControl(w)) {
                return false;
            }
            TakeTypedValue(b, w, e.value);
            return true;
        }
        case toolkit::EventKind::Command:
            if (IsCheckKind(b.rec.kind)) {
                Apply(b, IsChecked(w) ? 1 : 0);
            } else if (b.rec.kind == kBindOption) {
                Apply(b, OptionNumber(b.rec.controlId));
            } else if (b.rec.kind == kBindButton) {
                Apply(b, 0);
            } else {
                return false;
            }
            return true;
        case toolkit::EventKind::SliderPos:
            if (e.value != 0) {
                ClearPartner(b);
            }
            Apply(b, e.value);
            return true;
        case toolkit::EventKind::ComboSelection:
            if (!m_listEvents) {
                return false;
            }
            Apply(b, e.value);
            return true;
        default:
            return false;
    }
}

int CControlBinderBase::CurrentPart(const BindingRecord& r) const {
    const int current = CurrentValue(r.paramId, r.initial);
    return r.sharedBits ? OwnPart(r, current) : current;
}

void CControlBinderBase::TakeTypedValue(const Bound& b, QWidget* w, int step) {
    const std::u16string typed = Text(w).toStdU16String();
    const ShownRange range = ShownRangeOf(b.rec);
    const int current = CurrentPart(b.rec);
    const bool number = CheckTypedText(typed, range.low, range.high,
                                       b.rec.formatKind == kFormatReal) == TypedText::Acceptable;
    if (!number && step == 0) {
        // Nothing the user meant as a value (an empty box, a lone minus): the value stays.
        ShowControlValue(b.rec.controlId, CurrentValue(b.rec.paramId, b.rec.initial));
        return;
    }
    // A step from a box that holds no number steps from the value the box stands for.
    const double x =
        number ? ParseNumber(typed) : b.rec.offset + current * static_cast<double>(b.rec.scale);
    const ValueText vt = ValueToText(x + (step != 0 ? EditStep(step, b.rec.scale) : 0.0), b.rec);
    {
        CBusy busy(m_busy);
        SetText(w, ToQString(vt.text));
        w->update();
    }
    if (vt.raw != current) {
        Apply(b, vt.raw);
    }
}

void CControlBinderBase::ClearPartner(const Bound& b) {
    if (!IsSliderKind(b.rec.kind) || b.rec.partnerId == 0) {
        return;
    }
    auto p = m_bound.find(b.rec.partnerId);
    if (p == m_bound.end() || p->second.rec.kind != kBindSwitch || !p->second.control ||
        !IsChecked(p->second.control)) {
        return;
    }
    {
        CBusy busy(m_busy);
        SetChecked(p->second.control, false);
    }
    // A switch of the same parameter goes out with the slider's value; another one on its own.
    if (p->second.rec.paramId != b.rec.paramId) {
        Apply(p->second, 0);
    }
}

void CControlBinderBase::Apply(const Bound& b, int raw) {
    ShowOnLinked(b, raw);
    if (!HasWorkSpace()) {
        return;
    }
    EditParam(b.rec.paramId, b.rec.sharedBits ? Combined(b, raw) : raw);
}

int CControlBinderBase::Combined(const Bound& acting, int raw) const {
    int value = 0;
    int owned = 0;
    auto [first, last] = m_byParam.equal_range(acting.rec.paramId);
    for (auto p = first; p != last; ++p) {
        const Bound& o = m_bound.at(p->second);
        const BindingRecord& r = o.rec;
        owned |= OwnedBits(r);
        if (&o == &acting && r.kind != kBindOption) {
            // The control the user changed counts with its new value, whatever its class.
            const int kind = IsTextKind(r.kind) ? kBindSlider : r.kind;
            BindingRecord asActing = r;
            asActing.kind = kind;
            value |= SharedContribution(asActing, raw, raw != 0);
        } else if (o.control && !IsTextKind(r.kind)) {
            value |= SharedContribution(r, Position(o.control), IsChecked(o.control));
        }
    }
    // Bits no control here shows (another page's switch, one the card keeps to itself) stay as
    // the card has them.
    return value | (CurrentValue(acting.rec.paramId, 0) & ~owned);
}

}  // namespace effects::ui
