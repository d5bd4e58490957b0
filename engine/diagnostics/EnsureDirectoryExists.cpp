#include "diagnostics/EnsureDirectoryExists.h"

#include "diagnostics/WindowsError.h"
#include "platform/Platform.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

bool TryEnsureDirectoryExists(std::string path) {
    // A trailing separator would never be found by the exact lookup below.
    while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();

    // The longest prefix, cut at separators, that already exists.
    std::string basepath = path;
    while (!basepath.empty() && !Platform::EntryExists(basepath)) {
        const size_t cut = basepath.find_last_of("\\/");
        if (cut == std::string::npos) {
            basepath.clear();
        } else {
            basepath.erase(cut);
        }
    }

    // Create the rest one component at a time; new separators are written as '/'.
    std::string remains = path.substr(basepath.size());
    while (!remains.empty()) {
        if (IsSeparator(remains[0])) {
            basepath += '/';
            remains.erase(0, 1);
            continue;
        }
        const size_t sep = remains.find_first_of("\\/");
        const std::string nextchunk = remains.substr(0, sep);
        if (!Platform::CreateFolder(basepath + nextchunk)) break;
        basepath += nextchunk;
        if (sep == std::string::npos) {
            remains.clear();
        } else {
            remains.erase(0, sep);
        }
    }

    if (Platform::EntryExists(path)) return true;
    return Platform::CreateFolder(path);
}

void EnsureDirectoryExists(std::string path) {
    if (!TryEnsureDirectoryExists(path)) WindowsError("EnsureDirectoryExists");
}
