#include "ClipSlots.h"

#include <algorithm>

namespace sound::clip {

namespace {
std::u16string Digits(int n) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n > 0);
    return s;
}
}  // namespace

float GainOfVolume(int volume) {
    return static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f;
}

int SlotSeconds(int slot) {
    return slot >= 0 && slot < kSlotCount ? kSlotSeconds[slot] : 0;
}

std::u16string SlotMenuText(int slot) {
    if (SlotSeconds(slot) == 0) {
        return {};
    }
    return u"槽位" + Digits(slot + 1) + u"（" + Digits(SlotSeconds(slot)) + u"秒）";
}

std::u16string SendToCardMenuText() {
    return u"发送到声卡";
}

std::u16string SentToSlotText(int slot) {
    if (SlotSeconds(slot) == 0) {
        return {};
    }
    return u"已发送到声卡的槽位" + Digits(slot + 1);
}

}  // namespace sound::clip
