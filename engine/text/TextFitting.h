/// @file
/// String helpers that need the text engine's advances or the random source. They keep no
/// state and return new strings.
#pragma once

#include <string>

/// The longest prefix of text narrower than width pixels together with three dots, followed
/// by "..." when anything was cut; measured with the text manager's current font and size.
std::string FitTextToWidth(std::string text, float width);
/// 31 random decimal digits (0 to 8), from 32 whole-number draws of the random tables.
std::string RandomDigits();
