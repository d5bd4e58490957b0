#include "pak/GFileList.h"

#include <algorithm>

#include "misc/Random.h"
#include "platform/Platform.h"

namespace {

size_t LastSeparator(const std::string& path) {
    return path.find_last_of("\\/");
}

bool IsDotName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

}  // namespace

void GFileList::AddFiles(std::string searchPath) {
    if (KeepRoot) {
        const size_t cut = LastSeparator(searchPath);
        Root = cut == std::string::npos ? std::string() : searchPath.substr(0, cut + 1);
    }
    FileWalk(searchPath, nullptr);
}

void GFileList::FileWalk(const std::string& searchPath, std::set<std::string>* entered) {
    const size_t cut = LastSeparator(searchPath);
    const std::string extension =
        cut == std::string::npos ? searchPath : searchPath.substr(cut + 1);
    const std::string folderpath =
        cut == std::string::npos ? std::string() : searchPath.substr(0, cut + 1);

    std::vector<Platform::FindData> found;
    if (!Platform::FindEntries(searchPath, found)) return;

    for (const Platform::FindData& entry : found) {
        if (IsDotName(entry.Name)) continue;
        if (entry.Name.find('\\') != std::string::npos) {
            BackslashNames.push_back(folderpath + entry.Name);
        } else if (entry.Folder && entry.Link) {
            FolderLinks.push_back(folderpath + entry.Name);
        } else if (entry.Folder) {
            // Depth first: the sub-folder's files take the place where the folder was met.
            const std::string sub = folderpath + entry.Name;
            if (entered) entered->insert(sub);
            FileWalk(sub + "/" + extension, entered);
        } else {
            Files.push_back(folderpath + entry.Name);
        }
    }
}

void GFileList::AddFolders(std::string searchPath) {
    if (KeepRoot) {
        const size_t star = searchPath.find('*');
        Root = star == std::string::npos ? searchPath : searchPath.substr(0, star);
    }
    std::vector<Platform::FindData> found;
    if (!Platform::FindEntries(searchPath, found)) return;
    for (const Platform::FindData& entry : found) {
        if (!entry.Folder || IsDotName(entry.Name)) continue;
        if (entry.Name.find('\\') != std::string::npos) {
            BackslashNames.push_back(Root + entry.Name);
        } else {
            (entry.Link ? FolderLinks : Files).push_back(Root + entry.Name);
        }
    }
}

void GFileList::AddFolderTree(std::string folder, std::string pattern) {
    std::set<std::string> entered;
    TreeWalk(folder, pattern, entered);
}

// Every folder of the tree is searched with the pattern once. A pattern that also matches
// folder names makes the file walk of a parent descend into them already; those folders are
// not searched again, so each file is listed once, at the place where it was first met.
void GFileList::TreeWalk(const std::string& folder, const std::string& pattern,
                         std::set<std::string>& entered) {
    const std::string searchpath = folder + "/" + pattern;
    if (KeepRoot) {
        const size_t cut = LastSeparator(searchpath);
        Root = searchpath.substr(0, cut + 1);
    }
    if (entered.count(folder) == 0) FileWalk(searchpath, &entered);

    GFileList dirs;
    dirs.AddFolders(folder + "/*.*");
    // The file walk above has already met these among them when the pattern matched.
    auto addOnce = [&folder](std::vector<std::string>& to, const std::vector<std::string>& from) {
        for (const std::string& name : from) {
            const std::string path = folder + "/" + name;
            if (std::find(to.begin(), to.end(), path) == to.end()) to.push_back(path);
        }
    };
    addOnce(FolderLinks, dirs.FolderLinks);
    addOnce(BackslashNames, dirs.BackslashNames);
    for (const std::string& dirname : dirs.Files) {
        TreeWalk(folder + "/" + dirname, pattern, entered);
    }
}

std::string GFileList::GetRandomFile() const {
    if (Files.empty()) return std::string();
    return Files[static_cast<size_t>(NextRand()) % Files.size()];
}
