#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace firmware {

// A zip archive held in memory, read through minizip. Entry names are found without regard to
// letter case. The bytes must outlive the reader.
class CZipMemoryReader {
public:
    CZipMemoryReader(const uint8_t* data, size_t size);
    ~CZipMemoryReader();
    CZipMemoryReader(const CZipMemoryReader&) = delete;
    CZipMemoryReader& operator=(const CZipMemoryReader&) = delete;

    // False when the bytes are not a readable archive.
    bool IsOpen() const { return m_zip != nullptr; }
    // Positions on the entry; false when there is none of that name (UTF-8).
    bool Locate(const std::string& name);
    // The located entry's uncompressed size as its header states it.
    uint64_t EntrySize();
    // Inflates the located entry whole; false on a damaged entry or when it inflates to a size
    // other than its header states. At most maxBytes are accepted.
    bool Extract(std::vector<uint8_t>& out, uint64_t maxBytes);

    struct Buffer;

private:
    std::unique_ptr<Buffer> m_buffer;
    void* m_zip = nullptr;
};

// Builds a zip archive in memory through minizip (the package builder and the tests use it).
class CZipMemoryWriter {
public:
    CZipMemoryWriter();
    ~CZipMemoryWriter();
    CZipMemoryWriter(const CZipMemoryWriter&) = delete;
    CZipMemoryWriter& operator=(const CZipMemoryWriter&) = delete;

    // Adds one entry (deflated, or stored when level is 0).
    bool Add(const std::string& name, const uint8_t* data, size_t size, int level = 6);
    bool Add(const std::string& name, const std::string& text) {
        return Add(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    // Writes the central directory; the archive's bytes, or empty after a failure.
    std::vector<uint8_t> Finish();

private:
    std::unique_ptr<CZipMemoryReader::Buffer> m_buffer;
    void* m_zip = nullptr;
    bool m_failed = false;
};

}  // namespace firmware
