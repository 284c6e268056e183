#include "TempFile.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "Log/Log.h"

#define LOG_SOURCE "sound\\clip\\TempFile"

namespace sound::clip {

bool CPrivateTempFile::Create(const char* prefix) {
    Remove();
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        (dir && *dir ? std::string(dir) : std::string("/tmp")) + "/" + prefix + "XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        VLOG_ERROR("clip", "CPrivateTempFile::Create", "no temporary file in %s", pattern.c_str());
        return false;
    }
    ::close(fd);
    m_path = pattern;
    return true;
}

void CPrivateTempFile::Remove() {
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
}

}  // namespace sound::clip
