/// @file
/// Host text in UTF-8, turned into the bytes the text manager draws: Windows-1252, limited to
/// the characters the glyph order has cells for. Opt-in: bytes handed straight to AddText keep
/// their meaning as Windows-1252.
#pragma once

#include <cstdint>
#include <string>

/// What a character without a glyph cell becomes, and so does each malformed UTF-8 sequence.
constexpr char kGlyphTextReplacement = '?';

/// The glyph-order text of utf8. Every character the glyph order has (ASCII from '!' to '~'
/// but for the at sign and the grave accent, the euro sign, the accented Latin letters from
/// U+00C0 to U+00FF, the ligatures OE and oe) becomes its Windows-1252 byte; space and tab
/// stay; the right single quotation mark U+2019 becomes the apostrophe, as AddText draws it.
/// Anything else, a malformed sequence (its longest valid start counts as one) included,
/// becomes kGlyphTextReplacement. When replaced is given, it receives the number of
/// replacements.
std::string Utf8ToGlyphText(const std::string& utf8, int32_t* replaced = nullptr);
