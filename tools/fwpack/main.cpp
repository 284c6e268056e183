// velora-fwpack: writes a firmware package for the cloud simulator, the tests and developers.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "FwPack.h"

int main(int argc, char** argv) {
    std::string out;
    std::string version = "2.4";
    std::string hardware = "1.0";
    size_t imageBytes = 4096;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--out" && value) {
            out = value;
            ++i;
        } else if (arg == "--version" && value) {
            version = value;
            ++i;
        } else if (arg == "--hardware" && value) {
            hardware = value;
            ++i;
        } else if (arg == "--image-bytes" && value) {
            imageBytes = std::strtoul(value, nullptr, 10);
            ++i;
        } else {
            std::cerr << "usage: velora-fwpack --out FILE.zip [--version 2.4] [--hardware 1.0] "
                         "[--image-bytes N]\n";
            return 1;
        }
    }
    if (out.empty() || imageBytes == 0) {
        std::cerr << "velora-fwpack needs --out FILE.zip and a non-empty image\n";
        return 1;
    }
    const std::vector<uint8_t> zip =
        fwpack::BuildPackage(fwpack::SimplePackage(version, imageBytes, hardware));
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
    if (zip.empty() || !file.good()) {
        std::cerr << "cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
