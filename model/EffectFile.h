#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "ParamTables.h"

// Effect files: the processing data of an effect the card can run, with the parameter values
// that go with it. All numbers are 32-bit little-endian.
//
//   0  version (2)          4  unused
//   8  H0 parameter record size (16-28)   12 H1 parameter section size
//   16 H2 section-A record size (8)       20 H3 section-B record size (8)
//   24 H4 section-C record size (24)      28 H5, 32 H6, 36 H7: sizes of sections A, B, C
//   40 section A, then B, then C; the parameter section is the last H1 bytes of the file.
namespace model {

inline constexpr uint32_t kEffectFileVersion = 2;
inline constexpr size_t kEffectFileHeaderBytes = 40;
// Far above any real effect; a larger file is refused before anything is allocated for it.
inline constexpr uint64_t kMaxEffectFileBytes = uint64_t{16} << 20;

struct EffectFileHeader {
    uint32_t paramRecordSize = 0;   // H0
    uint32_t paramSectionSize = 0;  // H1
    uint32_t recordSizeA = 0;       // H2
    uint32_t recordSizeB = 0;       // H3
    uint32_t recordSizeC = 0;       // H4
    uint32_t sectionSizeA = 0;      // H5
    uint32_t sectionSizeB = 0;      // H6
    uint32_t sectionSizeC = 0;      // H7
};

// The first 16 bytes of a parameter record; the rest of its H0 bytes mean nothing to us.
struct EffectParamRecord {
    uint32_t number = 0;  // parameter id + 1
    int32_t low = 0;
    int32_t high = 0;
    float value = 0.0f;
};

struct EffectFileContents {
    EffectFileHeader header;
    std::vector<uint8_t> sectionA;
    std::vector<uint8_t> sectionB;
    std::vector<uint8_t> sectionC;
    std::vector<EffectParamRecord> params;
};

// Reads and checks a whole effect file. False, with the reason logged, when it cannot be opened,
// is not version 2, has record sizes other than the frame layouts take, or announces more bytes
// than it holds; nothing is allocated for the sections before the sizes are checked.
// `headerRead` (when given) receives the header numbers as soon as they are read, even when the
// file is refused afterwards.
bool ReadEffectFile(const std::filesystem::path& path, EffectFileContents& out,
                    EffectFileHeader* headerRead = nullptr);

// Reads only the parameter section (the group read-back of an effect sent from a file).
bool ReadEffectFileParams(const std::filesystem::path& path, std::vector<EffectParamRecord>& out);

// Maps a file's parameter value onto the parameter's range: minimum + (value - low) × (maximum -
// minimum) / (high - low) in integer arithmetic. False for a record that cannot be mapped (equal
// bounds, a value that is no number); the result is kept within the parameter's range.
bool MapEffectParamValue(const EffectParamRecord& record, const ParamDescriptor& descriptor,
                         int& value);

}  // namespace model
