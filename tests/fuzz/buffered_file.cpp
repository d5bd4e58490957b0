// Buffered files: loaded from disk, read line by line into a buffer whose size the first
// byte picks, rewound and read again; also through the process-wide cache.
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "data/GBufferedFile.h"

namespace {

void ReadLines(GBufferedFile& file, int capacity) {
    std::vector<char> line(size_t(capacity) + 1);
    for (int i = 0; i < 1000000 && !file.IsEOF(); ++i) {
        file.ReadLine(line.data(), capacity);
        file.IsLineCut();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int capacity = data[0] % 64 + 1;
    const std::string path = FuzzSupport::WriteScratchFile(data + 1, size - 1, ".txt");
    {
        GBufferedFile file;
        if (file.Load(path)) {
            ReadLines(file, capacity);
            file.Rewind();
            ReadLines(file, 2048);
        }
    }
    if (GBufferedFile* cached = GetBufferedFileManager().GetFile(path)) {
        cached->Rewind();
        ReadLines(*cached, capacity);
    }
    std::remove(path.c_str());
    return 0;
}
