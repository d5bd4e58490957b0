#pragma once

#include <string>

/// Makes sure a folder exists, creating every missing folder along the path (either separator;
/// a trailing separator is dropped). Returns only when the folder exists: when it cannot be
/// made, WindowsError ends the process with the system's error code.
void EnsureDirectoryExists(std::string path);

/// The same walk for callers that must carry on when the folder cannot be made (the error log,
/// extraction of untrusted archives): false, with the platform's last error, instead of exiting.
bool TryEnsureDirectoryExists(std::string path);
