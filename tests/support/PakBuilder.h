// Builds pak archives byte by byte, so a test shows exactly which bytes it hands the reader,
// damaged ones included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

struct PakRecord {
    std::string Name;        // copied into the 128-byte field; longer text fills it unterminated
    std::string SourcePath;  // likewise for the 256-byte field
    std::string Data;
    int32_t StoredOffset = 0;   // what the file claims; readers must ignore it
    int64_t SizeOverride = -1;  // a Size field that disagrees with Data when >= 0
};

class PakBuilder {
public:
    PakBuilder& Add(const std::string& name, const std::string& data) {
        Records.push_back({name, "src/" + name, data, 0, -1});
        return *this;
    }
    // The whole archive: count, table and data, with each StoredOffset as given.
    std::string Bytes() const;
    // Stores the correct derived offsets before building.
    std::string BytesWithDerivedOffsets() const;

    std::vector<PakRecord> Records;
    int64_t CountOverride = -1;  // a count field that disagrees with the records when >= 0
};

void AppendLe32(std::string& out, uint32_t value);

}  // namespace TestSupport
