// CSV lines: the first byte picks the separator and the second the order of field reads;
// the rest is the line, read whole as a string and as a terminated text.
#include "data/CSV.h"

#include <string>

#include "FuzzSupport.h"

namespace {

void ReadAll(CSV& csv, uint8_t order) {
    // Every field is at least one character, so the line runs out well before this.
    for (int i = 0; i < 100000 && !csv.AtEnd(); ++i) {
        switch ((order + i) % 5) {
            case 0:
                csv.GetNextString();
                break;
            case 1:
                csv.GetNextTrimmedString();
                break;
            case 2:
                csv.GetNextInt();
                break;
            case 3:
                csv.GetNextFloat();
                break;
            default:
                csv.GetNextBool();
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const char separator = char(data[0]);
    const uint8_t order = data[1];
    const std::string line(reinterpret_cast<const char*>(data + 2), size - 2);
    CSV csv;
    csv.SetKeepQuotes((order & 0x80) != 0);
    csv.SetLine(line, separator);
    ReadAll(csv, order);
    csv.SetLine(line.c_str(), separator);
    ReadAll(csv, order);
    return 0;
}
