#include "EffectFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <system_error>

#include "Log/Log.h"

#define LOG_SOURCE "model\\EffectFile"

namespace model {

namespace {

constexpr uint32_t kMinParamRecordSize = 16;
constexpr uint32_t kMaxParamRecordSize = 28;
constexpr uint32_t kRecordSizeA = 8;
constexpr uint32_t kRecordSizeB = 8;
constexpr uint32_t kRecordSizeC = 24;

uint32_t U32At(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// An open file with its size, read in checked pieces.
class CFileReader {
public:
    explicit CFileReader(const std::filesystem::path& path) : m_stream(path, std::ios::binary) {
        std::error_code ec;
        uintmax_t size = std::filesystem::file_size(path, ec);
        m_size = ec ? 0 : static_cast<uint64_t>(size);
        m_ok = m_stream.is_open() && !ec;
    }
    bool IsOpen() const { return m_ok; }
    uint64_t Size() const { return m_size; }
    bool Read(uint64_t offset, void* into, size_t n) {
        if (offset > m_size || n > m_size - offset) {
            return false;
        }
        m_stream.clear();
        m_stream.seekg(static_cast<std::streamoff>(offset));
        m_stream.read(static_cast<char*>(into), static_cast<std::streamsize>(n));
        return static_cast<size_t>(m_stream.gcount()) == n;
    }
    bool ReadVector(uint64_t offset, std::vector<uint8_t>& into, size_t n) {
        into.assign(n, 0);
        return n == 0 || Read(offset, into.data(), n);
    }

private:
    std::ifstream m_stream;
    uint64_t m_size = 0;
    bool m_ok = false;
};

bool OpenAndCheckVersion(CFileReader& file, const std::filesystem::path& path,
                         const char* function) {
    if (!file.IsOpen()) {
        VLOG_ERROR("effect", function, "cannot open effect file %s", path.string().c_str());
        return false;
    }
    if (file.Size() > kMaxEffectFileBytes) {
        VLOG_ERROR("effect", function, "effect file %s too large (%llu bytes)",
                   path.string().c_str(), static_cast<unsigned long long>(file.Size()));
        return false;
    }
    uint8_t version[4];
    if (!file.Read(0, version, sizeof version) || U32At(version) != kEffectFileVersion) {
        VLOG_ERROR("effect", function, "effect file %s is not version %u", path.string().c_str(),
                   kEffectFileVersion);
        return false;
    }
    return true;
}

bool ReadParamSection(CFileReader& file, uint32_t recordSize, uint32_t sectionSize,
                      std::vector<EffectParamRecord>& out) {
    out.clear();
    uint32_t n = sectionSize / recordSize;
    if (n == 0) {
        return true;
    }
    std::vector<uint8_t> bytes;
    if (!file.ReadVector(file.Size() - sectionSize, bytes, sectionSize)) {
        return false;
    }
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* p = bytes.data() + size_t{i} * recordSize;
        EffectParamRecord r;
        r.number = U32At(p);
        r.low = static_cast<int32_t>(U32At(p + 4));
        r.high = static_cast<int32_t>(U32At(p + 8));
        uint32_t bits = U32At(p + 12);
        std::memcpy(&r.value, &bits, sizeof bits);
        out.push_back(r);
    }
    return true;
}

}  // namespace

bool ReadEffectFile(const std::filesystem::path& path, EffectFileContents& out,
                    EffectFileHeader* headerRead) {
    static constexpr const char* kFunction = "CWorkSpace::LoadEffectFile";
    CFileReader file(path);
    if (!OpenAndCheckVersion(file, path, kFunction)) {
        return false;
    }
    uint8_t raw[kEffectFileHeaderBytes];
    if (!file.Read(0, raw, sizeof raw)) {
        VLOG_ERROR("effect", kFunction, "effect file %s has no complete header",
                   path.string().c_str());
        return false;
    }
    EffectFileHeader& h = out.header;
    h.paramRecordSize = U32At(raw + 8);
    h.paramSectionSize = U32At(raw + 12);
    h.recordSizeA = U32At(raw + 16);
    h.recordSizeB = U32At(raw + 20);
    h.recordSizeC = U32At(raw + 24);
    h.sectionSizeA = U32At(raw + 28);
    h.sectionSizeB = U32At(raw + 32);
    h.sectionSizeC = U32At(raw + 36);
    if (headerRead) {
        *headerRead = h;
    }
    // The frames carry records of exactly these sizes; anything else would be cut or overrun.
    if (h.paramRecordSize < kMinParamRecordSize || h.paramRecordSize > kMaxParamRecordSize ||
        h.recordSizeA != kRecordSizeA || h.recordSizeB != kRecordSizeB ||
        h.recordSizeC != kRecordSizeC) {
        VLOG_ERROR("effect", kFunction,
                   "effect file %s has record sizes %u/%u/%u/%u, expected 16-28/8/8/24",
                   path.string().c_str(), h.paramRecordSize, h.recordSizeA, h.recordSizeB,
                   h.recordSizeC);
        return false;
    }
    uint64_t needed = uint64_t{kEffectFileHeaderBytes} + h.sectionSizeA + h.sectionSizeB +
                      h.sectionSizeC + h.paramSectionSize;
    if (needed > file.Size()) {
        VLOG_ERROR("effect", kFunction, "effect file %s announces %llu bytes but holds %llu",
                   path.string().c_str(), static_cast<unsigned long long>(needed),
                   static_cast<unsigned long long>(file.Size()));
        return false;
    }
    uint64_t at = kEffectFileHeaderBytes;
    if (!file.ReadVector(at, out.sectionA, h.sectionSizeA) ||
        !file.ReadVector(at += h.sectionSizeA, out.sectionB, h.sectionSizeB) ||
        !file.ReadVector(at += h.sectionSizeB, out.sectionC, h.sectionSizeC) ||
        !ReadParamSection(file, h.paramRecordSize, h.paramSectionSize, out.params)) {
        VLOG_ERROR("effect", kFunction, "cannot read effect file %s", path.string().c_str());
        return false;
    }
    return true;
}

bool ReadEffectFileParams(const std::filesystem::path& path, std::vector<EffectParamRecord>& out) {
    static constexpr const char* kFunction = "CWorkSpace::RestoreGroupFromEffect";
    out.clear();
    CFileReader file(path);
    if (!OpenAndCheckVersion(file, path, kFunction)) {
        return false;
    }
    uint8_t sizes[8];
    if (!file.Read(8, sizes, sizeof sizes)) {
        VLOG_ERROR("effect", kFunction, "effect file %s has no complete header",
                   path.string().c_str());
        return false;
    }
    uint32_t recordSize = U32At(sizes);
    uint32_t sectionSize = U32At(sizes + 4);
    if (recordSize < kMinParamRecordSize || recordSize > kMaxParamRecordSize ||
        uint64_t{sectionSize} + kEffectFileHeaderBytes > file.Size()) {
        VLOG_ERROR("effect", kFunction, "effect file %s has a bad parameter section (%u, %u)",
                   path.string().c_str(), recordSize, sectionSize);
        return false;
    }
    if (!ReadParamSection(file, recordSize, sectionSize, out)) {
        VLOG_ERROR("effect", kFunction, "cannot read effect file %s", path.string().c_str());
        return false;
    }
    return true;
}

bool MapEffectParamValue(const EffectParamRecord& record, const ParamDescriptor& descriptor,
                         int& value) {
    if (record.high == record.low || !std::isfinite(record.value) ||
        std::fabs(record.value) >= 2147483648.0f) {
        return false;
    }
    int64_t v = static_cast<int64_t>(record.value);  // truncates toward zero
    int64_t span = int64_t{descriptor.maximum} - descriptor.minimum;
    int64_t mapped =
        descriptor.minimum + (v - record.low) * span / (int64_t{record.high} - record.low);
    value = static_cast<int>(std::clamp<int64_t>(mapped, descriptor.minimum, descriptor.maximum));
    return true;
}

}  // namespace model
