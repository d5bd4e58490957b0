#pragma once

#include <string>

/// The last-resort error path: shows the system's text for the last error under the caption
/// "WindowsError", logs the context, and ends the process with that error code.
[[noreturn]] void WindowsError(std::string context);
