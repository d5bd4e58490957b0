#include "FuzzSupport.h"

#include <fstream>
#include <random>
#include <system_error>

namespace FuzzSupport {

namespace {

struct Scratch {
    std::filesystem::path Path;
    Scratch() {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        // Several runs may share the machine: a random name each, made exclusively.
        for (int attempt = 0; attempt < 100; ++attempt) {
            Path = base / ("engine-fuzz-" + std::to_string(random()));
            if (std::filesystem::create_directory(Path)) return;
        }
        Path.clear();
    }
    ~Scratch() {
        std::error_code ignored;
        if (!Path.empty()) std::filesystem::remove_all(Path, ignored);
    }
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
    static Scratch scratch;
    return scratch.Path;
}

std::string WriteScratchFile(const uint8_t* data, size_t size, const char* extension) {
    static unsigned long counter = 0;
    const std::filesystem::path path =
        ScratchFolder() / ("input" + std::to_string(++counter) + extension);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return path.string();
}

}  // namespace FuzzSupport
