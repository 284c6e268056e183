#pragma once

#include <filesystem>

namespace sound::clip {

// A file of this user's only (mkstemp, mode 0600) in the user's temporary folder ($TMPDIR, else
// /tmp), removed when the object goes.
class CPrivateTempFile {
public:
    CPrivateTempFile() = default;
    ~CPrivateTempFile() { Remove(); }
    CPrivateTempFile(const CPrivateTempFile&) = delete;
    CPrivateTempFile& operator=(const CPrivateTempFile&) = delete;

    // Creates a new empty file named prefix + six random characters; false when none can be
    // made. A file made before is removed first.
    bool Create(const char* prefix);
    void Remove();
    const std::filesystem::path& Path() const { return m_path; }
    bool Exists() const { return !m_path.empty(); }

private:
    std::filesystem::path m_path;
};

}  // namespace sound::clip
