#include "EffectFrames.h"

#include <algorithm>
#include <cstring>

#include "Log/Log.h"

#define LOG_SOURCE "model\\EffectFrames"

namespace model {

namespace {

using card::Frame;

constexpr int kRecordsOffset = 4;
constexpr int kRecordsAPerFrame = 7;
constexpr size_t kPackedRecordBytes = 8;
constexpr size_t kRecordBytesC = 24;
constexpr uint32_t kMaxBytes16 = 0xFFFF;  // the A and C byte counts of the header

void PutBe16(Frame& f, int at, uint32_t v) {
    f[static_cast<size_t>(at)] = static_cast<uint8_t>((v >> 8) & 0xFF);
    f[static_cast<size_t>(at + 1)] = static_cast<uint8_t>(v & 0xFF);
}

uint32_t WordAt(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Packs `count` records of 8 bytes, `per` to a frame, through `pack`; returns how many were used.
template <typename Pack>
uint32_t AppendPackedFrames(uint8_t code, const std::vector<uint8_t>& section, uint32_t count,
                            int per, Pack pack, std::vector<Frame>& frames) {
    uint32_t used = 0;
    Frame f{};
    int inFrame = 0;
    uint32_t index = 0;
    for (uint32_t r = 0; r < count && (size_t{r} + 1) * kPackedRecordBytes <= section.size(); ++r) {
        if (inFrame == 0) {
            f = Frame{};
            f[0] = code;
            PutBe16(f, 1, index);
        }
        pack(section.data() + size_t{r} * kPackedRecordBytes,
             f.data() + kRecordsOffset + inFrame * kPackedRecordBytes);
        ++used;
        if (++inFrame == per) {
            frames.push_back(f);
            ++index;
            inFrame = 0;
        }
    }
    if (inFrame > 0) {
        frames.push_back(f);
    }
    return used;
}

// The card reads section-B records with their halves swapped around like this.
void PackRecordB(const uint8_t* r, uint8_t* out) {
    const uint8_t packed[8] = {r[0], r[1], r[2], r[7], r[5], r[6], r[3], r[4]};
    std::memcpy(out, packed, sizeof packed);
}

// Section-A records keep only bytes 0-1 and 4-7.
void PackRecordA(const uint8_t* r, uint8_t* out) {
    const uint8_t packed[8] = {r[0], r[1], 0, 0, r[4], r[5], r[6], r[7]};
    std::memcpy(out, packed, sizeof packed);
}

}  // namespace

bool BuildEffectDownloadFrames(const EffectFileContents& file, const EffectDownloadCaps& caps,
                               std::vector<Frame>& frames) {
    frames.clear();
    const EffectFileHeader& h = file.header;
    if (h.recordSizeA != kPackedRecordBytes || h.recordSizeB != kPackedRecordBytes ||
        h.recordSizeC != kRecordBytesC) {
        VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile", "record sizes %u/%u/%u not supported",
                   h.recordSizeA, h.recordSizeB, h.recordSizeC);
        return false;
    }
    const uint32_t nA = std::min(h.sectionSizeA / h.recordSizeA, caps.maxRecordsA);
    const uint32_t nB = std::min(h.sectionSizeB / h.recordSizeB, caps.maxRecordsB);
    const int per = (card::kFrameLength - 5) / static_cast<int>(h.recordSizeB);  // 59 / 8 = 7

    // The card takes the section-B byte count from the upper bytes of H6 and the low byte of the
    // bytes sent; a file whose counts those bytes cannot carry would be announced wrongly.
    const uint32_t bytesB = nB * h.recordSizeB;
    const uint32_t announcedB = (h.sectionSizeB & 0xFFFF00u) | (bytesB & 0xFFu);
    if (announcedB != bytesB || uint64_t{nA} * h.recordSizeA > kMaxBytes16) {
        VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile",
                   "sections too large to announce (A %u bytes, B %u bytes)", h.sectionSizeA,
                   h.sectionSizeB);
        return false;
    }

    Frame header{};
    header[0] = card::CMD_EFX_HEADER;
    PutBe16(header, 6, (nB + per - 1) / per);
    header[8] = static_cast<uint8_t>((announcedB >> 16) & 0xFF);
    header[9] = static_cast<uint8_t>((announcedB >> 8) & 0xFF);
    header[10] = static_cast<uint8_t>(announcedB & 0xFF);
    PutBe16(header, 11, (nA + per - 1) / per);
    PutBe16(header, 13, nA * h.recordSizeA);
    frames.push_back(header);

    if (AppendPackedFrames(card::CMD_EFX_RECORDS_B, file.sectionB, nB, per, PackRecordB, frames) !=
            nB ||
        AppendPackedFrames(card::CMD_EFX_RECORDS_A, file.sectionA, nA, kRecordsAPerFrame,
                           PackRecordA, frames) != nA) {
        VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile",
                   "sections hold fewer records than announced (A %u, B %u)", nA, nB);
        frames.clear();
        return false;
    }

    // A record whose words 1-5 are not all set means nothing to the card and takes no place.
    // The buffer is cleared once only: the card reads as many records as the header's byte
    // count says, so what is left over in a last half-filled frame is never looked at.
    const size_t sizeC = kRecordBytesC;
    const int perC = static_cast<int>((card::kFrameLength - 5) / sizeC);  // 2
    const uint32_t totalC = h.sectionSizeC / h.recordSizeC;
    Frame c{};
    int inFrame = 0;
    uint32_t framesC = 0;
    uint32_t sentC = 0;
    for (uint32_t r = 0; r < totalC && (size_t{r} + 1) * sizeC <= file.sectionC.size(); ++r) {
        const uint8_t* rec = file.sectionC.data() + size_t{r} * sizeC;
        bool used = true;
        for (int w = 1; used && w <= 5; ++w) {
            used = WordAt(rec + 4 * w) != 0;
        }
        if (!used) {
            continue;
        }
        // The byte count is announced in 16 bits (it runs out long before the frame count).
        if ((sentC + 1) * sizeC > kMaxBytes16) {
            VLOG_ERROR("effect", "CWorkSpace::LoadEffectFile",
                       "section C holds more records than its 16-bit byte count can announce");
            frames.clear();
            return false;
        }
        if (inFrame == 0) {
            c[0] = card::CMD_EFX_RECORDS_C;
            PutBe16(c, 1, framesC);
        }
        std::memcpy(c.data() + kRecordsOffset + inFrame * sizeC, rec, sizeC);
        ++sentC;
        if (++inFrame == perC) {
            frames.push_back(c);
            ++framesC;
            inFrame = 0;
        }
    }
    if (inFrame > 0) {
        frames.push_back(c);
        ++framesC;
    }
    PutBe16(frames.front(), 17, framesC);
    PutBe16(frames.front(), 19, sentC * h.recordSizeC);
    return true;
}

}  // namespace model
