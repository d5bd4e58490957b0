#include "text/GlyphText.h"

#include <cstring>

#include "text/LibFont.h"

namespace {

// The Windows-1252 byte of a code point that has one, else 0.
unsigned char Windows1252(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
    switch (code) {
        case 0x20AC:
            return 0x80;
        case 0x0152:
            return 0x8C;
        case 0x0153:
            return 0x9C;
        default:
            return 0;
    }
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes the sequence at text[i]: true with the code point and its length, or false with the
// length of its longest well-formed start (at least 1), which is replaced as one.
bool Decode(const unsigned char* text, size_t size, size_t i, uint32_t& code, size_t& length) {
    const unsigned char lead = text[i];
    length = 1;
    if (lead < 0x80) {
        code = lead;
        return true;
    }
    size_t need;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return false;
    }
    for (size_t k = 1; k <= need; k++) {
        if (i + k >= size) return false;
        const unsigned char byte = text[i + k];
        if (k == 1 ? (byte < low || byte > high) : !IsContinuation(byte)) return false;
        code = code << 6 | (byte & 0x3F);
        length = k + 1;
    }
    return true;
}

}  // namespace

std::string Utf8ToGlyphText(const std::string& utf8, int32_t* replaced) {
    const auto* text = reinterpret_cast<const unsigned char*>(utf8.data());
    std::string out;
    out.reserve(utf8.size());
    int32_t replacements = 0;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t code = 0;
        size_t length = 1;
        bool kept = false;
        if (Decode(text, utf8.size(), i, code, length)) {
            const unsigned char byte = Windows1252(code);
            if (code == 0x2019) {
                out.push_back('\'');
                kept = true;
            } else if (byte == ' ' || byte == '\t' ||
                       (byte > ' ' && std::memchr(GlyphOrder, byte, 160) != nullptr)) {
                out.push_back(static_cast<char>(byte));
                kept = true;
            }
        }
        if (!kept) {
            out.push_back(kGlyphTextReplacement);
            replacements++;
        }
        i += length;
    }
    if (replaced != nullptr) *replaced = replacements;
    return out;
}
