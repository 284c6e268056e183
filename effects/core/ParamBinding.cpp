#include "ParamBinding.h"

#include <algorithm>

namespace effects {

namespace {
std::u16string Cut(std::u16string_view text, size_t chars) {
    return std::u16string(text.substr(0, std::min(text.size(), chars)));
}
}  // namespace

BindingRecord MakeBinding(const model::ParamDescriptor& d, int kind, int controlId, int linkedId,
                          int partnerId) {
    BindingRecord b;
    b.controlId = controlId;
    b.paramId = d.id;
    b.kind = kind < 0 ? d.kind : kind;
    b.minimum = d.minimum;
    b.maximum = d.maximum;
    b.initial = d.initial;
    b.scale = d.scale;
    b.offset = d.offset;
    b.format = Cut(d.format, kFormatChars);
    b.linkedId = linkedId;
    b.formatKind = FormatKindOf(b.format);
    b.choices = Cut(d.unit, kChoiceChars);
    b.sharedBits = d.sharedBits;
    b.partnerId = partnerId;
    return b;
}

BindingRecord MakeSwitchBinding(const model::ParamDescriptor& sw, int controlId, int paramId) {
    BindingRecord b = MakeBinding(sw, -1, controlId);
    b.paramId = paramId;
    return b;
}

int32_t OwnPart(const BindingRecord& b, int32_t value) {
    switch (b.kind) {
        case kBindSlider:
        case kBindKnob:
        case kBindText:
        case kBindEdit:
            // The mute or off bit (0x80) sits above every level's range.
            return value > b.maximum ? value - 0x80 : value;
        case kBindCombo:
            return value & b.maximum;
        case kBindCheck:
        case kBindSwitch:
        case kBindOption:
            return (value & b.maximum) != 0 ? 1 : 0;
        default:
            return value;
    }
}

int32_t SharedContribution(const BindingRecord& b, int32_t position, bool checked) {
    switch (b.kind) {
        case kBindSlider:
        case kBindKnob:
        case kBindCombo:
            return position;
        case kBindCheck:
        case kBindSwitch:
            return checked ? b.maximum : b.minimum;
        case kBindOption:
            if (!checked) {
                return 0;
            }
            return OptionNumber(b.controlId) != 0 ? b.minimum : b.maximum;
        default:
            return 0;
    }
}

int32_t OwnedBits(const BindingRecord& b) {
    switch (b.kind) {
        case kBindSlider:
        case kBindKnob:
        case kBindText:
        case kBindEdit: {
            // Every bit a level up to its maximum can use.
            uint32_t bits = 0;
            for (uint32_t top = static_cast<uint32_t>(std::max(0, b.maximum)); top != 0;
                 top >>= 1) {
                bits = (bits << 1) | 1u;
            }
            return static_cast<int32_t>(bits);
        }
        case kBindOption:
            return b.minimum | b.maximum;
        case kBindCombo:
        case kBindCheck:
        case kBindSwitch:
            return b.maximum;
        default:
            return 0;
    }
}

}  // namespace effects
