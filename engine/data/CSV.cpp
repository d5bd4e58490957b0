#include "data/CSV.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/GDebugLog.h"

void CSV::SetLine(const char* line, char separator) {
    size_t length = line != nullptr ? strlen(line) : 0;
    if (length >= static_cast<size_t>(INT32_MAX)) {
        SetLine(std::string(line, length), separator);
        return;
    }
    Line.assign(line != nullptr ? line : "", length);
    BufferLen = static_cast<int32_t>(length);
    if (Field.size() < length + 1) Field.resize(length + 1);
    Pos = 0;
    Separator = separator;
}

void CSV::SetLine(std::string line, char separator) {
    // Positions are 32-bit; a longer line is cut rather than misread.
    if (line.size() >= static_cast<size_t>(INT32_MAX)) {
        char message[256];
        snprintf(message, sizeof(message), "CSV line of %zu characters cut to %d", line.size(),
                 INT32_MAX - 1);
        GetDebugLog().Log(message);
        line.resize(static_cast<size_t>(INT32_MAX) - 1);
    }
    Line = std::move(line);
    BufferLen = static_cast<int32_t>(Line.size());
    // Reused between lines: the field never outgrows its line.
    if (Field.size() < Line.size() + 1) Field.resize(Line.size() + 1);
    Pos = 0;
    Separator = separator;
}

size_t CSV::ReadField() {
    if (Field.empty()) Field.resize(1);
    char* out = &Field[0];
    size_t length = 0;
    if (Pos > BufferLen) {
        out[0] = '\0';
        return 0;
    }
    // The line's terminator sits at BufferLen and ends the last field.
    const char* text = Line.c_str();
    const int32_t end = BufferLen;
    const char separator = Separator;
    int32_t pos = Pos;
    bool inQuotes = false;
    bool sawNul = false;
    while (pos <= end) {
        char c = text[pos++];
        if (c == '"') {
            inQuotes = !inQuotes;
            if (KeepQuotes) out[length++] = c;
            continue;
        }
        if (!inQuotes) {
            if (c == separator || c == '\0') break;
        } else if (c == '\0') {
            // An open quote at the end of the line adds nothing and ends the field.
            if (pos > end) break;
            sawNul = true;
        }
        out[length++] = c;
    }
    Pos = pos;
    out[length] = '\0';
    // A NUL inside quotes ends the text as it would in a C string.
    return sawNul ? strlen(out) : length;
}

std::string CSV::GetNextString() {
    size_t length = ReadField();
    return std::string(Field.data(), length);
}

const char* CSV::ReadTrimmedField() {
    size_t length = ReadField();
    char* text = &Field[0];
    while (length > 0) {
        char c = text[length - 1];
        if (c != ' ' && c != '\r' && c != '\n') break;
        length--;
    }
    text[length] = '\0';
    return text;
}

std::string CSV::GetNextTrimmedString() {
    return ReadTrimmedField();
}

int32_t CSV::GetNextInt() {
    const char* text = ReadTrimmedField();
    errno = 0;
    long long value = strtoll(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

float CSV::GetNextFloat() {
    return static_cast<float>(strtod(ReadTrimmedField(), nullptr));
}

bool CSV::GetNextBool() {
    return GetNextInt() != 0;
}
