#include "Escape.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at text[at], with its code point, or 0.
size_t DecodeUtf8(const std::string& text, size_t at, uint32_t& code) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0u) != 0x80u) return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    static const uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// C1 controls start escape sequences on some terminals; the separators break lines and the
// direction controls reorder what is shown around them.
bool IsShowable(uint32_t code) {
    return !(code <= 0x9F || code == 0x061C || code == 0x200E || code == 0x200F ||
             (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069));
}

}  // namespace

std::string Printable(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += static_cast<char>(c);
            ++i;
            continue;
        }
        uint32_t code = 0;
        if (const size_t length = c >= 0x80 ? DecodeUtf8(text, i, code) : 0) {
            if (IsShowable(code)) {
                shown.append(text, i, length);
                i += length;
                continue;
            }
        }
        static const char kNamed[] = "abtnvfr";  // the escapes of bytes 7 to 13
        if (c == '\\') {
            shown += "\\\\";
        } else if (c >= 7 && c <= 13) {
            shown += '\\';
            shown += kNamed[c - 7];
        } else {
            char octal[5];
            snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(c));
            shown += octal;
        }
        ++i;
    }
    return shown;
}

std::string Slashed(std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

std::string JsonString(const std::string& bytes) {
    std::string json = "\"";
    char escape[8];
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        uint32_t code = c;
        size_t length = 1;
        if (c >= 0x80) {
            length = DecodeUtf8(bytes, i, code);
            if (length == 0) {
                // Not UTF-8: the byte as a lone low surrogate, which decoders that keep
                // undecodable bytes turn back into the byte.
                snprintf(escape, sizeof escape, "\\u%04x", 0xDC00u + c);
                json += escape;
                ++i;
                continue;
            }
        }
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (code >= 0x20 && code != 0x7F && (code < 0x80 || IsShowable(code))) {
            json.append(bytes, i, length);
        } else {
            snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            json += escape;
        }
        i += length;
    }
    return json + "\"";
}
