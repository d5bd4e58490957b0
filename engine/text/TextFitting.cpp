#include "text/TextFitting.h"

#include <cstdio>

#include "misc/Random.h"
#include "text/TextEngine.h"

std::string FitTextToWidth(std::string text, float width) {
    TextManager& manager = GetTextManager();
    const float room = width - 3.0f * manager.GetCharWidth('.');
    float total = 0.0f;
    size_t kept = 0;
    for (char c : text) {
        const float advance = manager.GetCharWidth(c);
        if (!(total + advance < room)) break;
        total += advance;
        kept++;
    }
    if (kept == text.size()) return text;
    text.resize(kept);
    return text + "...";
}

std::string RandomDigits() {
    // All 32 draws are made, although the text keeps 31: the draws decide what the random
    // source returns next.
    char digits[33];
    for (int i = 0; i < 32; i++) {
        char one[16];
        snprintf(one, sizeof one, "%d", RandomInt(9));
        digits[i] = one[0];
    }
    digits[31] = '\0';
    return digits;
}
