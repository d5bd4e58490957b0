#include "diagnostics/GFile.h"

#include <vector>

#include "diagnostics/GDebugLog.h"
#include "pak/GFileList.h"
#include "platform/Platform.h"

FILE* GFile::Open(std::string fileName, std::string mode) {
    return Platform::OpenStream(fileName, mode.c_str());
}

bool GFile::Exists(std::string path) {
    return Platform::IsOpenableFile(path);
}

uint32_t GFile::GetSize(std::string path) {
    uint32_t size = 0;
    if (!Platform::GetFileSize32(path, size)) return 0xFFFFFFFFu;
    return size;
}

bool GFile::Copy(std::string source, std::string target) {
    return Platform::CopyFileReplacing(source, target);
}

bool GFile::Delete(std::string path) {
    Platform::FileAttributes attributes;
    if (Platform::GetAttributes(path, attributes) && attributes.ReadOnly) {
        GetDebugLog().Log("GFile::Delete read only");
    }
    if (Platform::RemoveFile(path)) return true;

    const std::string reason = Platform::ErrorMessage(Platform::GetLastError());
    char temp[512];
    snprintf(temp, sizeof temp, "Error deleting file [%s] -> %s", path.c_str(), reason.c_str());
    GetDebugLog().Log(temp);
    return false;
}

bool GFile::DeleteFolderTree(std::string folder) {
    Platform::FileAttributes attributes;
    if (!Platform::GetAttributes(folder, attributes)) {
        const uint32_t error = Platform::GetLastError();
        // Nothing there means nothing to delete; other failures fall through and report.
        if (error == Platform::kErrorFileNotFound || error == Platform::kErrorPathNotFound) {
            return true;
        }
    }

    std::vector<std::string> subdirnames;
    std::vector<std::string> filenames;
    std::vector<std::string> folderlinks;
    std::vector<Platform::FindData> found;
    if (Platform::FindEntries(folder + "/*.*", found)) {
        for (const Platform::FindData& entry : found) {
            if (!entry.Name.empty() && entry.Name[0] == '.') continue;
            const std::string path = folder + "/" + entry.Name;
            if (entry.Folder && entry.Link) {
                folderlinks.push_back(path);
            } else {
                (entry.Folder ? subdirnames : filenames).push_back(path);
            }
        }
    }

    char temp[512];
    for (const std::string& name : filenames) {
        if (!Platform::RemoveFile(name)) {
            snprintf(temp, sizeof temp, "Error deleting %s", name.c_str());
            GetDebugLog().Log(temp);
            return false;
        }
    }
    // A link to a folder is not part of this tree: drop the link (a folder entry on Windows,
    // a file here), never what it points to. One that stays keeps this folder, which then
    // reports below.
    for (const std::string& name : folderlinks) {
        if (!Platform::RemoveFolder(name)) Platform::RemoveFile(name);
    }
    // A sub-folder that cannot be emptied keeps this folder too.
    for (const std::string& name : subdirnames) {
        if (!Platform::RemoveFolder(name)) DeleteFolderTree(name);
    }

    if (!Platform::RemoveFolder(folder)) {
        snprintf(temp, sizeof temp, "Error removing %s", folder.c_str());
        GetDebugLog().Log(temp);
        return !Platform::EntryExists(folder);
    }
    return true;
}

void GFile::DeleteFilesInFolder(std::string folder) {
    GFileList list;
    list.SetKeepRoot();
    list.AddFiles(folder + "*.*");
    for (const std::string& path : list.Files) {
        if (!path.empty() && path.back() != '.') Platform::RemoveFile(path);
    }
}

std::string GFile::MakeUniqueName(std::string base, std::string extension) {
    // Built without a length limit: a cut-off candidate could repeat forever.
    std::string candidate = base + "." + extension;
    for (unsigned n = 1; Exists(candidate); ++n) {
        candidate = base + "(" + std::to_string(n) + ")." + extension;
    }
    return candidate;
}

std::string GFile::EnsureExtension(std::string name, std::string extension) {
    const size_t length = extension.size();
    if (name.size() > length && name.compare(name.size() - length, length, extension) == 0) {
        return name;
    }
    return name + extension;
}

std::string GFile::GetExeFolder() {
    const std::string path = Platform::ExecutablePath();
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(0, cut);
}
