#pragma once

#include <cstdint>
#include <string>

// The card's five clip slots and the format a clip is sent in.
namespace sound::clip {

inline constexpr int kSlotCount = 5;
// Longest clip each slot takes, in seconds.
inline constexpr int kSlotSeconds[kSlotCount] = {15, 35, 35, 20, 47};

inline constexpr uint32_t kCardRate = 44100;
inline constexpr uint16_t kCardChannels = 1;
inline constexpr uint16_t kCardBits = 16;
inline constexpr uint32_t kCardBytesPerSecond = kCardRate * kCardChannels * kCardBits / 8;

// Volume of the sound pad (0..100) to the gain applied to every sample.
float GainOfVolume(int volume);
// Seconds slot takes; 0 for a slot the card does not have.
int SlotSeconds(int slot);
// The slot's entry in the pad's "发送到声卡" submenu: "槽位1（15秒）" for slot 0; empty for a
// slot the card does not have.
std::u16string SlotMenuText(int slot);
// The context menu entry that holds the slots.
std::u16string SendToCardMenuText();
// The tip once the card has taken a clip: "已发送到声卡的槽位1" for slot 0; empty for a slot the
// card does not have.
std::u16string SentToSlotText(int slot);

}  // namespace sound::clip
