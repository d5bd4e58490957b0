#include "support/PakBuilder.h"

#include <algorithm>

namespace TestSupport {

void AppendLe32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

namespace {

void AppendField(std::string& out, const std::string& text, size_t width) {
    std::string field = text.substr(0, std::min(text.size(), width));
    field.resize(width, '\0');
    out += field;
}

}  // namespace

std::string PakBuilder::Bytes() const {
    std::string out;
    const uint32_t count = CountOverride >= 0 ? static_cast<uint32_t>(CountOverride)
                                              : static_cast<uint32_t>(Records.size());
    AppendLe32(out, count);
    for (const PakRecord& r : Records) {
        AppendField(out, r.SourcePath, 256);
        AppendField(out, r.Name, 128);
        AppendLe32(out, static_cast<uint32_t>(r.StoredOffset));
        AppendLe32(out,
                   static_cast<uint32_t>(r.SizeOverride >= 0 ? r.SizeOverride : r.Data.size()));
    }
    for (const PakRecord& r : Records) out += r.Data;
    return out;
}

std::string PakBuilder::BytesWithDerivedOffsets() const {
    PakBuilder copy = *this;
    int64_t offset = 4 + 392 * static_cast<int64_t>(Records.size());
    for (PakRecord& r : copy.Records) {
        r.StoredOffset = static_cast<int32_t>(offset);
        offset += static_cast<int64_t>(r.Data.size());
    }
    return copy.Bytes();
}

}  // namespace TestSupport
