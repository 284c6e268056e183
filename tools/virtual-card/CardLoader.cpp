#include "CardLoader.h"

#include <json/json.h>
#include <zlib.h>

#include <cstring>

#include "common/Device/FrameChecksum.h"

namespace vcard {

using card::Frame;

namespace {
uint32_t Le32(const Frame& f, size_t at) {
    return static_cast<uint32_t>(f[at]) | (static_cast<uint32_t>(f[at + 1]) << 8) |
           (static_cast<uint32_t>(f[at + 2]) << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}
}  // namespace

std::optional<Frame> CCardLoader::HandleHostFrame(const Frame& frame) {
    Frame r{};
    r[0] = static_cast<uint8_t>(frame[0] + 1);
    r[card::kFlagOffset] = card::kFlagOk;
    if (FrameChecksum(frame.data(), card::kFrameLength - 1) != frame[card::kFrameLength - 1]) {
        r[card::kFlagOffset] = card::kAckBadChecksum;
    } else if (frame[0] == card::CMD_FW_INFO) {
        // A new announcement starts the image over.
        m_announcedLength = Le32(frame, 12);
        m_announcedCrc = Le32(frame, 16);
        m_announced = true;
        m_image.clear();
        m_blocks = 0;
        m_checked = false;
        m_checkPassed = false;
        ++m_infos;
    } else if (frame[0] == card::CMD_FW_DATA) {
        const int index = (frame[1] << 8) | frame[2];
        if (m_failFromBlock >= 0 && index >= m_failFromBlock) {
            return std::nullopt;
        }
        if (!m_announced || index != m_blocks || m_checked) {
            r[card::kFlagOffset] = kFlagOutOfOrder;
        } else {
            m_image.insert(m_image.end(), frame.begin() + 4, frame.begin() + 4 + kBlockBytes);
            ++m_blocks;
            if (m_image.size() >= m_announcedLength) {
                // The last block: what lies past the announced length is padding.
                m_image.resize(m_announcedLength);
                const uint32_t crc = static_cast<uint32_t>(
                    crc32(crc32(0L, Z_NULL, 0), m_image.data(), static_cast<uInt>(m_image.size())));
                m_checked = true;
                m_checkPassed = crc == m_announcedCrc && !m_image.empty();
                if (!m_checkPassed) {
                    r[card::kFlagOffset] = kFlagCheckFailed;
                }
            }
        }
    } else {
        r[card::kFlagOffset] = kFlagUnknown;  // the loader knows nothing else
    }
    r[card::kFrameLength - 1] = FrameChecksum(r.data(), card::kFrameLength - 1);
    return r;
}

uint8_t CCardLoader::NewFirmwareByte() const {
    if (!m_checkPassed || m_image.size() < 5 || std::memcmp(m_image.data(), "LYFW", 4) != 0) {
        return 0;
    }
    return m_image[4];
}

std::string CCardLoader::StateJson(bool active) const {
    Json::Value fw;
    fw["loader_active"] = active;
    fw["announced_length"] = m_announcedLength;
    fw["announced_crc"] = m_announcedCrc;
    fw["infos"] = m_infos;
    fw["image_length"] = static_cast<Json::UInt64>(m_image.size());
    fw["image_crc"] = static_cast<Json::UInt>(
        crc32(crc32(0L, Z_NULL, 0), m_image.data(), static_cast<uInt>(m_image.size())));
    fw["blocks"] = m_blocks;
    fw["checked"] = m_checked;
    fw["check_passed"] = m_checkPassed;
    fw["new_firmware"] = NewFirmwareByte();
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, fw);
}

}  // namespace vcard
