#pragma once

#include <string>

// Makes sure a folder exists, creating every missing folder along the path (either separator;
// a trailing separator is dropped). Returns only when the folder exists: when it cannot be
// made, WindowsError ends the process with the system's error code.
void EnsureDirectoryExists(std::string path);
