#include "diagnostics/StringHelpers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool IsLetterOrDigit(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string TrimTrailingWhitespace(std::string text) {
    size_t end = text.size();
    while (end > 0) {
        char c = text[end - 1];
        if (c != ' ' && c != '\r' && c != '\n') break;
        end--;
    }
    text.resize(end);
    return text;
}

std::string ToUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string ToLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string MakeSafeName(std::string text) {
    for (char& c : text) {
        if (!IsLetterOrDigit(static_cast<unsigned char>(c))) c = '_';
    }
    return text;
}

std::string RemoveSpaces(std::string text) {
    return RemoveChars(std::move(text), " ");
}

std::string RemoveChars(std::string text, std::string chars) {
    bool remove[256] = {};
    for (char c : chars) remove[static_cast<unsigned char>(c)] = true;
    size_t out = 0;
    for (char c : text) {
        if (!remove[static_cast<unsigned char>(c)]) text[out++] = c;
    }
    text.resize(out);
    return text;
}

std::string TruncateText(std::string text, unsigned maxLength) {
    if (text.size() <= maxLength) return text;
    text.resize(maxLength);
    text += "...";
    return text;
}

void FormatWithCommas(int32_t value, char* buffer) {
    FormatWithCommas(value, buffer, 15);
}

void FormatWithCommas(int32_t value, char* buffer, size_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return;
    // Work on the magnitude so a negative value gets one sign in front, not one per group.
    int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
    char digits[16];
    int count = snprintf(digits, sizeof(digits), "%lld", static_cast<long long>(magnitude));
    char text[32];
    size_t out = 0;
    if (value < 0) text[out++] = '-';
    for (int i = 0; i < count; i++) {
        if (i > 0 && (count - i) % 3 == 0) text[out++] = ',';
        text[out++] = digits[i];
    }
    text[out] = '\0';
    snprintf(buffer, bufferSize, "%s", text);
}

std::string TwoDigits(int32_t value) {
    char text[16];
    int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
    snprintf(text, sizeof(text), "%s%s%lld", value < 0 ? "-" : "", magnitude < 10 ? "0" : "",
             static_cast<long long>(magnitude));
    return text;
}

int RoundToInt(float value) {
    if (std::isnan(value)) return 0;
    double i = std::floor(static_cast<double>(value));
    double result = (static_cast<double>(value) - i >= 0.5) ? i + 1.0 : i;
    // Values beyond the int range saturate instead of overflowing the conversion.
    if (result >= 2147483647.0) return 2147483647;
    if (result <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(result);
}
