// Names and paths from archives and folders are untrusted: printed raw, an escape sequence
// in one could retitle the terminal, clear it or plant a link, and a newline or tab would
// make one entry read as two. Everything the tool prints passes through here first.
#pragma once

#include <string>

// The text with every byte that is not safe to show written as an escape: \a \b \t \n \v
// \f \r for those controls, \\ for a backslash, \ooo (three octal digits) for the others.
// Printable ASCII and well-formed UTF-8 characters pass unchanged, except the C1 controls,
// the line and paragraph separators and the direction controls, which are escaped byte by
// byte. So every shown text stands for exactly one byte string.
std::string Printable(const std::string& text);

// A stored name or path with its folder separators, '\' as well as '/', written as '/'; the
// form names are shown in (after Printable) and typed back in.
std::string Slashed(std::string name);

// The bytes as a JSON string, quotes included. Well-formed UTF-8 passes as it is, controls
// and the characters Printable escapes become \uXXXX escapes, and every byte that is not part
// of well-formed UTF-8 becomes \udc80 to \udcff, so a script can get the exact bytes back.
std::string JsonString(const std::string& bytes);
