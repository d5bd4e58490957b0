// Names and paths from archives and folders are untrusted: printed raw, an escape sequence
// in one could retitle the terminal, clear it or plant a link, and a newline or tab would
// make one entry read as two. Everything the tool prints passes through here first.
#pragma once

#include <string>

// The text with every byte that is not safe to show written as an escape: \a \b \t \n \v
// \f \r for those controls, \ooo (three octal digits) for the others. Printable ASCII and
// well-formed UTF-8 characters pass unchanged, except the C1 controls, the line and
// paragraph separators and the direction controls, which are escaped byte by byte. A
// backslash stays as it is: stored names use it as a folder separator.
std::string Printable(const std::string& text);
