// The text manager's operations that shape text to a width: line splitting and wrapped
// paragraphs, justified lines, and the ways of shortening a string to fit.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "diagnostics/GDebugLog.h"
#include "render/BaseSprite.h"
#include "text/TextEngine.h"

void TextManager::SplitLine(int32_t pixelwrapvalue, std::string& pinput, std::string& remainder) {
    if (!Initialised) {
        GetDebugLog().Log("Text Not Initialised");
        return;
    }
    // The text ends at its first zero byte, as a C string would.
    const size_t n = strnlen(pinput.c_str(), pinput.size());
    if (n == 0) {
        pinput.clear();
        remainder.clear();
        return;
    }
    // The width of the first `in` bytes is kept as a running float sum, added in the same
    // order GetStringLength adds, so each step costs one glyph rather than the whole prefix.
    size_t in = 0;
    size_t out = 0;
    size_t wordlen = 0;
    bool sawspace = false;
    float width = 0.0f;
    bool done = false;
    while (!done) {
        const char c = in < n ? pinput[in] : '\0';
        if (c == ' ') {
            wordlen = 1;
            sawspace = true;
        } else {
            if (c == '\0') done = true;
            wordlen++;
        }
        in++;
        out++;
        if (c != '\0') width += GetCharWidth(c);
        if (TruncateToInt(width) >= pixelwrapvalue) {
            if (!sawspace) {
                // A word wider than the whole line: break it before the byte that made it
                // too wide, keeping at least one byte so that every call makes progress.
                in = in > 1 ? in - 1 : 1;
                out = in;
            } else {
                in -= wordlen - 1;
                out -= wordlen;
            }
            done = true;
        }
    }
    // out counts the terminator when the whole text fitted.
    if (out > n) out = n;
    remainder = in < n ? pinput.substr(in) : std::string();
    pinput.resize(out);
}

std::string TextManager::GetFirstLine(int32_t wrap, const std::string& text) {
    std::string line = text;
    std::string rest;
    SplitLine(wrap, line, rest);
    return line;
}

float TextManager::AddWrappedText(const std::string& text, float x, float y, float wrap,
                                  uint32_t colour, int32_t maxlines) {
    // Without the manager SplitLine cuts nothing, and the loop would never end.
    if (!Ready("TextNotInitialised")) return y;
    std::string line = text;
    std::string rest;
    float cy = y;
    int32_t lines = 0;
    while (!line.empty()) {
        SplitLine(TruncateToInt(wrap), line, rest);
        AddText(line, x, cy, colour, wrap, 0);
        line.swap(rest);
        cy += Size;
        if (CurrentFont != nullptr) cy += static_cast<float>(CurrentFont->LineSpacing);
        lines++;
        if (maxlines != -1 && lines >= maxlines) return cy;
    }
    return cy;
}

float TextManager::AddWrappedText(LibTextObject* source, float x, float y, float wrap,
                                  uint32_t colour, int32_t maxlines) {
    if (source == nullptr) return y;
    return AddWrappedText(source->GetText(), x, y, wrap, colour, maxlines);
}

float TextManager::GetWrappedHeight(const std::string& text, float wrap) {
    if (!Ready("Text Not Initialised")) return 0.0f;
    std::string line = text;
    std::string rest;
    float height = 0.0f;
    while (!line.empty()) {
        SplitLine(TruncateToInt(wrap), line, rest);
        line.swap(rest);
        height += Size + static_cast<float>(CurrentFont->LineSpacing);
    }
    return height;
}

float TextManager::GetLongestWrappedLine(const std::string& text, float wrap) {
    if (!Ready("Text Not Initialised")) return -1.0f;
    std::string line = text;
    std::string rest;
    float longest = -1.0f;
    while (!line.empty()) {
        SplitLine(TruncateToInt(wrap), line, rest);
        if (static_cast<float>(line.size()) > longest) longest = static_cast<float>(line.size());
        line.swap(rest);
    }
    return longest;
}

int32_t TextManager::CountSpaces(const std::string& text) const {
    int32_t n = 0;
    for (char c : text) n += c == ' ';
    return n;
}

std::string TextManager::TrimSpaces(const std::string& text) const {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void TextManager::AddJustifiedText(const std::string& text, float x, float y, float wraplength,
                                   uint32_t colour) {
    if (!Ready("TextNotInitialised")) return;
    const std::string t = TrimSpaces(text);
    if (t.empty()) return;
    const int32_t n = CountSpaces(t);
    const float normallength = static_cast<float>(GetStringLength(t));
    const float sw = GetCharWidth(' ');
    // A line that cannot be justified (no gaps, too long, wider than the width, a negative
    // width or spaces without width) is drawn as it is.
    if (n == 0 || t.size() >= static_cast<size_t>(MAXCHARS) || wraplength < 0.0f ||
        normallength > wraplength || !(sw > 0.0f)) {
        AddText(t, x, y, colour, 0.0f, 0);
        return;
    }
    const float extra = wraplength - normallength;
    const float gap = (sw * static_cast<float>(n) + extra) / static_cast<float>(n);
    if (gap / GetCharWidth(' ') > 2.0f) {
        AddText(t, x, y, colour, 0.0f, 0);
        return;
    }
    float pen = x;
    size_t start = 0;
    while (start < t.size()) {
        const size_t end = std::min(t.find(' ', start), t.size());
        if (end > start) {
            const std::string word = t.substr(start, end - start);
            AddText(word, pen, y, colour, 0.0f, 0);
            pen += static_cast<float>(GetStringLength(word)) + gap;
        }
        start = end + 1;
    }
}

std::string TextManager::TruncateToWidth(int32_t width, const std::string& text) {
    float acc = 0.0f;
    size_t kept = 0;
    for (char c : text) {
        const float cw = GetCharWidth(c);
        if (!(static_cast<float>(width) > acc + cw)) break;
        acc += cw;
        kept++;
    }
    return text.substr(0, kept);
}

std::string TextManager::TruncateWithEllipsis(int32_t maxwidth, const std::string& text) {
    if (static_cast<float>(maxwidth) >= static_cast<float>(GetStringLength(text))) return text;
    return TruncateToWidth(maxwidth - GetStringLength("..."), text) + "...";
}

std::string TextManager::ClipWithDots(int32_t width, const std::string& text) {
    std::string out;
    out.reserve(text.size() + 3);
    int64_t total = 0;
    bool fits = true;
    for (char c : text) {
        const int32_t cw = TruncateToInt(GetCharWidth(c));
        total += cw;
        // The byte counts twice: it is kept only while there is room for it once more.
        if (total + cw < width) {
            out.push_back(c);
        } else {
            fits = false;
        }
    }
    if (!fits) {
        const int32_t d = 3 * TruncateToInt(GetCharWidth('.'));
        int32_t removed = 0;
        // Stops at the empty string: a field narrower than the dots gets the dots alone.
        while (removed < d && !out.empty()) {
            const char last = out.back();
            out.pop_back();
            removed = TruncateToInt(static_cast<float>(removed) + GetCharWidth(last));
        }
        out += "...";
    }
    return out;
}
