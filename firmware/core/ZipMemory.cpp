#include "ZipMemory.h"

#include <minizip/ioapi.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <cstring>

namespace firmware {

// One growable buffer behind minizip's file functions: a reader points it at foreign bytes, a
// writer lets it grow.
struct CZipMemoryReader::Buffer {
    const uint8_t* readData = nullptr;
    size_t readSize = 0;
    std::vector<uint8_t> written;
    bool writable = false;
    uint64_t pos = 0;

    size_t Size() const { return writable ? written.size() : readSize; }
    const uint8_t* Data() const { return writable ? written.data() : readData; }
};

namespace {

using Buffer = CZipMemoryReader::Buffer;

voidpf ZCALLBACK OpenMem(voidpf opaque, const void*, int) {
    auto* b = static_cast<Buffer*>(opaque);
    b->pos = 0;
    return b;
}

uLong ZCALLBACK ReadMem(voidpf, voidpf stream, void* buf, uLong size) {
    auto* b = static_cast<Buffer*>(stream);
    if (b->pos >= b->Size()) {
        return 0;
    }
    const size_t n = std::min<uint64_t>(size, b->Size() - b->pos);
    std::memcpy(buf, b->Data() + b->pos, n);
    b->pos += n;
    return static_cast<uLong>(n);
}

uLong ZCALLBACK WriteMem(voidpf, voidpf stream, const void* buf, uLong size) {
    auto* b = static_cast<Buffer*>(stream);
    if (!b->writable) {
        return 0;
    }
    if (b->pos + size > b->written.size()) {
        b->written.resize(b->pos + size);
    }
    std::memcpy(b->written.data() + b->pos, buf, size);
    b->pos += size;
    return size;
}

ZPOS64_T ZCALLBACK TellMem(voidpf, voidpf stream) {
    return static_cast<Buffer*>(stream)->pos;
}

long ZCALLBACK SeekMem(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* b = static_cast<Buffer*>(stream);
    uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = b->pos;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = b->Size();
            break;
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        default:
            return -1;
    }
    const uint64_t target = base + offset;
    if (target > b->Size() && !b->writable) {
        return -1;
    }
    b->pos = target;
    return 0;
}

int ZCALLBACK CloseMem(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK ErrorMem(voidpf, voidpf) {
    return 0;
}

zlib_filefunc64_def MemoryFunctions(Buffer* buffer) {
    zlib_filefunc64_def f{};
    f.zopen64_file = OpenMem;
    f.zread_file = ReadMem;
    f.zwrite_file = WriteMem;
    f.ztell64_file = TellMem;
    f.zseek64_file = SeekMem;
    f.zclose_file = CloseMem;
    f.zerror_file = ErrorMem;
    f.opaque = buffer;
    return f;
}

}  // namespace

CZipMemoryReader::CZipMemoryReader(const uint8_t* data, size_t size)
    : m_buffer(std::make_unique<Buffer>()) {
    if (!data || size == 0) {
        return;
    }
    m_buffer->readData = data;
    m_buffer->readSize = size;
    zlib_filefunc64_def f = MemoryFunctions(m_buffer.get());
    m_zip = unzOpen2_64("memory", &f);
}

CZipMemoryReader::~CZipMemoryReader() {
    if (m_zip) {
        unzClose(m_zip);
    }
}

bool CZipMemoryReader::Locate(const std::string& name) {
    // 2: without regard to letter case.
    return m_zip && unzLocateFile(m_zip, name.c_str(), 2) == UNZ_OK;
}

uint64_t CZipMemoryReader::EntrySize() {
    unz_file_info64 info{};
    if (!m_zip ||
        unzGetCurrentFileInfo64(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return 0;
    }
    return info.uncompressed_size;
}

bool CZipMemoryReader::Extract(std::vector<uint8_t>& out, uint64_t maxBytes) {
    out.clear();
    if (!m_zip) {
        return false;
    }
    const uint64_t size = EntrySize();
    if (size > maxBytes || unzOpenCurrentFile(m_zip) != UNZ_OK) {
        return false;
    }
    out.resize(static_cast<size_t>(size));
    uint64_t got = 0;
    bool ok = true;
    while (got < size) {
        const unsigned chunk = static_cast<unsigned>(std::min<uint64_t>(size - got, 1u << 20));
        const int n = unzReadCurrentFile(m_zip, out.data() + got, chunk);
        if (n <= 0) {
            ok = false;
            break;
        }
        got += static_cast<uint64_t>(n);
    }
    // An entry that inflates to more than its header says, or fails its CRC, is damaged.
    uint8_t extra = 0;
    if (ok && unzReadCurrentFile(m_zip, &extra, 1) != 0) {
        ok = false;
    }
    if (unzCloseCurrentFile(m_zip) != UNZ_OK) {
        ok = false;
    }
    if (!ok) {
        out.clear();
    }
    return ok;
}

CZipMemoryWriter::CZipMemoryWriter() : m_buffer(std::make_unique<Buffer>()) {
    m_buffer->writable = true;
    zlib_filefunc64_def f = MemoryFunctions(m_buffer.get());
    m_zip = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &f);
    m_failed = m_zip == nullptr;
}

CZipMemoryWriter::~CZipMemoryWriter() {
    if (m_zip) {
        zipClose(m_zip, nullptr);
    }
}

bool CZipMemoryWriter::Add(const std::string& name, const uint8_t* data, size_t size, int level) {
    if (m_failed) {
        return false;
    }
    zip_fileinfo info{};
    const int method = level == 0 ? 0 : Z_DEFLATED;
    if (zipOpenNewFileInZip64(m_zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                              level, size >= 0xFFFFFFFFu) != ZIP_OK ||
        (size > 0 && zipWriteInFileInZip(m_zip, data, static_cast<unsigned>(size)) != ZIP_OK) ||
        zipCloseFileInZip(m_zip) != ZIP_OK) {
        m_failed = true;
    }
    return !m_failed;
}

std::vector<uint8_t> CZipMemoryWriter::Finish() {
    if (!m_zip) {
        return {};
    }
    const bool closed = zipClose(m_zip, nullptr) == ZIP_OK;
    m_zip = nullptr;
    if (m_failed || !closed) {
        return {};
    }
    return std::move(m_buffer->written);
}

}  // namespace firmware
