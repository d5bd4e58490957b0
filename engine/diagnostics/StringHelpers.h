/// @file
/// Small helpers on 8-bit byte strings and numbers. Only A-Z, a-z and 0-9 count as letters and
/// digits; every other byte is left alone or replaced, never interpreted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// The text without its trailing blanks, carriage returns and line feeds (tabs stay).
std::string TrimTrailingWhitespace(std::string text);
std::string ToUpper(std::string text);
std::string ToLower(std::string text);
/// Letters and digits kept, every other byte replaced by '_'; the length stays.
std::string MakeSafeName(std::string text);
/// The text without its blanks; other whitespace stays.
std::string RemoveSpaces(std::string text);
/// The text without every byte that occurs in chars.
std::string RemoveChars(std::string text, std::string chars);
/// The first maxLength characters followed by "..." when the text is longer than maxLength.
std::string TruncateText(std::string text, unsigned maxLength);

/// The value with ',' between groups of three digits and one leading '-' when negative. The
/// buffer must hold 15 bytes ("-2,147,483,648" and its terminator); 14 for values >= 0.
void FormatWithCommas(int32_t value, char* buffer);
/// The same, bounded by the buffer's size.
void FormatWithCommas(int32_t value, char* buffer, size_t bufferSize);
/// At least two digits: 5 gives "05", 12 gives "12", -5 gives "-05".
std::string TwoDigits(int32_t value);
/// The nearest integer, halves rounded upward (2.5 gives 3, -2.5 gives -2).
int RoundToInt(float value);
