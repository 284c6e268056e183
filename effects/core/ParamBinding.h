#pragma once

#include <cstdint>
#include <string>

#include "ParamTables.h"
#include "ValueText.h"

// How one control shows one card parameter: the record a control binder keeps per control, built
// from the parameter's descriptor, and the rules for controls that share one parameter value.
namespace effects {

enum BindKind : int32_t {
    kBindSlider = 0,  // slider bar or rotary knob: position = value
    kBindCombo = 1,   // combo box: selection = value
    kBindCheck = 2,   // check box: checked = value != 0
    kBindSwitch = 3,  // switch: one bit of the value
    kBindOption = 4,  // option button; its control id carries its option number
    kBindText = 5,    // text: the formatted value
    kBindButton = 6,  // button: sends 0
    kBindEdit = 8,    // edit box: the formatted value, typed values are read back
    kBindKnob = 9,    // as kBindSlider
};

inline bool IsSliderKind(int kind) {
    return kind == kBindSlider || kind == kBindKnob;
}
inline bool IsTextKind(int kind) {
    return kind == kBindText || kind == kBindEdit;
}
inline bool IsCheckKind(int kind) {
    return kind == kBindCheck || kind == kBindSwitch;
}

struct BindingRecord {
    int32_t controlId = 0;
    int32_t paramId = 0;
    int32_t kind = kBindSlider;
    int32_t minimum = 0;
    int32_t maximum = 0;  // the bit mask for switch and option kinds
    // What the control shows the moment it is bound, before the workspace pushes the live value;
    // also the fallback when there is no workspace to ask. Copied from the descriptor's initial
    // value (model::ParamDescriptor::initial, the workspace's start value) at binding time; a
    // shared-bits control shows only its own part of it.
    int32_t initial = 0;
    float scale = 1.0f;  // shown = offset + raw × scale
    int32_t offset = 0;
    std::u16string format;
    int32_t linkedId = 0;  // a second control showing the same value, 0 for none
    FormatKind formatKind = kFormatNone;
    std::u16string choices;  // of a list or option control, separated by "[#]"
    bool sharedBits = false;
    int32_t partnerId = 0;  // a switch cleared when this slider leaves 0, 0 for none
};

inline constexpr size_t kFormatChars = 16;
inline constexpr size_t kChoiceChars = 256;

// The record for a control bound to a parameter; kind -1 takes the descriptor's own kind.
BindingRecord MakeBinding(const model::ParamDescriptor& d, int kind, int controlId,
                          int linkedId = 0, int partnerId = 0);
// The record for a control showing one bit of a parameter, from a switch descriptor.
BindingRecord MakeSwitchBinding(const model::ParamDescriptor& sw, int controlId, int paramId);

// Option buttons: id / 1000 mod 100 is the option number; the button of option v in the same set
// as control c has the id ((c / 100000) × 100 + v) × 1000 + c mod 100.
inline int OptionNumber(int controlId) {
    return controlId / 1000 % 100;
}
inline int OptionControlId(int controlId, int option) {
    return ((controlId / 100000) * 100 + option) * 1000 + controlId % 100;
}

// The part of a shared parameter value that a control shows: the level without the mute bit for
// sliders and texts, the masked bits for a list, 0 or 1 for switches and options.
int32_t OwnPart(const BindingRecord& b, int32_t value);

// What one control adds to a shared parameter value when the user changes any of them (the
// values of all controls are OR-ed). position: slider position or list selection; checked: the
// state of a switch or option. Texts add nothing; they mirror a slider.
int32_t SharedContribution(const BindingRecord& b, int32_t position, bool checked);

// The bits of a shared parameter value that one control sets: a level's whole range, a list's or
// a switch's mask. Bits no control owns are kept as the card reported them when the controls'
// values are combined.
int32_t OwnedBits(const BindingRecord& b);

}  // namespace effects
