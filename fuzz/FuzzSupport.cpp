#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzTarget.h"

namespace velora_fuzz {

namespace {

class CTempFolder {
public:
    CTempFolder() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) {
            base = "/tmp";
        }
        std::string pattern = (base / "velora-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("velora-fuzz: mkdtemp");
            std::abort();  // a harness without its folder would report false findings
        }
        m_path = pattern;
    }
    ~CTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace

const std::filesystem::path& TempFolder() {
    static CTempFolder folder;
    return folder.Path();
}

std::filesystem::path WriteInput(const char* name, const uint8_t* data, size_t size) {
    const std::filesystem::path path = TempFolder() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "velora-fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

}  // namespace velora_fuzz
