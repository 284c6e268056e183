#include "FrameChecksum.h"

#include <array>

namespace {

// The table is linear over XOR, so it is built from the values of the eight single bits.
constexpr std::array<uint8_t, 256> MakeTable() {
    constexpr uint8_t kBits[8] = {0x31, 0x62, 0xC4, 0x88, 0x21, 0x73, 0xE6, 0xCC};
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint8_t v = 0;
        for (int b = 0; b < 8; ++b) {
            if (i & (1 << b)) {
                v ^= kBits[b];
            }
        }
        t[i] = v;
    }
    return t;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

static_assert(kTable[0x10] == 0x21 && kTable[0x1F] == 0x3E && kTable[0xFF] == 0x67 &&
                  kTable[0x8F] == 0xD3 && kTable[0xA5] == 0x4A,
              "checksum table differs from the card's");

}  // namespace

uint8_t FrameChecksum(const uint8_t* bytes, size_t length) {
    uint8_t c = 0;
    for (size_t i = 0; i < length; ++i) {
        c = kTable[bytes[i] ^ c];
    }
    return static_cast<uint8_t>(c ^ 0xFF);
}
