#include "FirmwareFrames.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "FirmwarePackage.h"

namespace firmware {

namespace {
void PutLe32(card::Frame& f, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) {
        f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

card::Frame MakeFwInfoFrame(uint32_t length, uint32_t crc) {
    card::Frame f{};
    f[0] = card::CMD_FW_INFO;
    PutLe32(f, 8, 0x00040000);
    PutLe32(f, 12, length);
    PutLe32(f, 16, crc);
    return f;
}

card::Frame MakeFwDataFrame(uint16_t index, const uint8_t* image, size_t length) {
    card::Frame f{};
    f[0] = card::CMD_FW_DATA;
    f[1] = static_cast<uint8_t>(index >> 8);
    f[2] = static_cast<uint8_t>(index & 0xFF);
    const size_t offset = static_cast<size_t>(index) * kBlockBytes;
    if (offset < length) {
        std::memcpy(f.data() + 4, image + offset, std::min(kBlockBytes, length - offset));
    }
    return f;
}

size_t BlockCount(size_t length) {
    return (length + kBlockBytes - 1) / kBlockBytes;
}

}  // namespace firmware
