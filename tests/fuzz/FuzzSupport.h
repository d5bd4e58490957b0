// Shared by the fuzz targets: the entry point every target defines, and a scratch folder of
// this process's own for targets that must go through files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace FuzzSupport {

// A folder below the system's temporary folder, made on first use and removed at exit.
const std::filesystem::path& ScratchFolder();

// Writes the bytes to a new file in the scratch folder; each call names a new file, since
// the engine caches whole files by path.
std::string WriteScratchFile(const uint8_t* data, size_t size, const char* extension);

}  // namespace FuzzSupport
