#include "ClipCheck.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <system_error>

namespace sound {

namespace {

bool IsFrameHeader(const uint8_t* b) {
    const bool sync = b[0] == 0xFF && (b[1] & 0xE0) == 0xE0;
    const bool layer = (b[1] & 0x06) != 0;       // 00 is reserved
    const bool version = (b[1] & 0x18) != 0x08;  // 01 is reserved
    const bool bitrate = (b[2] & 0xF0) != 0xF0;  // 1111 is invalid
    const bool rate = (b[2] & 0x0C) != 0x0C;     // 11 is reserved
    return sync && layer && version && bitrate && rate;
}

}  // namespace

bool LooksLikeMp3File(const std::filesystem::path& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size < 4) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    // Encoders may leave a little junk before the first frame: look a bit further than byte 0.
    std::array<uint8_t, 4096> head{};
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    const size_t got = size_t(in.gcount());
    if (got < 4) {
        return false;
    }
    if (got >= 10 && head[0] == 'I' && head[1] == 'D' && head[2] == '3') {
        // The tag's size is four 7-bit bytes; audio must follow it.
        uint32_t tag = 0;
        for (int i = 6; i < 10; ++i) {
            if (head[i] & 0x80) {
                return false;
            }
            tag = (tag << 7) | head[i];
        }
        const uintmax_t audio = 10u + tag + ((head[5] & 0x10) ? 10u : 0u);
        return audio + 4 <= size;
    }
    for (size_t i = 0; i + 4 <= got; ++i) {
        if (IsFrameHeader(&head[i])) {
            return true;
        }
    }
    return false;
}

}  // namespace sound
