/// @file
/// A list of paths gathered by wildcard directory searches: every file below a folder, the
/// sub-folders of one folder, or the files matching a pattern anywhere in a folder tree.
/// Names beginning with "." are never listed or entered; levels below the first are joined
/// with "/", whatever separator the caller used. A link to a folder is never entered: it
/// could lead out of the tree (a delete would reach files elsewhere) or back into it (a walk
/// without end). A link to a file is listed like the file.
#pragma once

#include <set>
#include <string>
#include <vector>

class GFileList {
public:
    /// Appended to by every gathering call, in the order the file system gives the names.
    std::vector<std::string> Files;
    /// The links to folders that gathering calls met and did not enter or list, as paths
    /// formed like those in Files, so a caller can say what was left out.
    std::vector<std::string> FolderLinks;
    /// Files and folders whose own names hold a backslash, as paths formed like those in Files.
    /// Where a backslash separates folders no path can name them (one would reach another
    /// file), so they are neither listed nor entered. Only POSIX file systems have such names.
    std::vector<std::string> BackslashNames;

    /// From now on, gathering calls record the root they searched (see GetRoot).
    void SetKeepRoot() { KeepRoot = true; }
    const std::string& GetRoot() const { return Root; }

    /// searchPath is a folder, a separator and a pattern ("data/*.*"). Files matching the
    /// pattern are listed; sub-folders are entered only when their names match it too.
    void AddFiles(std::string searchPath);
    /// The sub-folders of one folder (one level), as Root + name.
    void AddFolders(std::string searchPath);
    /// Files matching pattern in folder and in every folder below it, each listed once.
    void AddFolderTree(std::string folder, std::string pattern);

    unsigned Count() const { return static_cast<unsigned>(Files.size()); }
    /// Empties Files and the lists of what was left out; Root and the root recording stay as they
    /// are.
    void Clear() {
        Files.clear();
        FolderLinks.clear();
        BackslashNames.clear();
    }
    /// One of the paths picked with the engine's portable generator, or "" when empty.
    std::string GetRandomFile() const;

    std::vector<std::string>::const_iterator begin() const { return Files.begin(); }
    std::vector<std::string>::const_iterator end() const { return Files.end(); }

private:
    /// entered, when given, collects the folder paths that the walk descended into.
    void FileWalk(const std::string& searchPath, std::set<std::string>* entered);
    void TreeWalk(const std::string& folder, const std::string& pattern,
                  std::set<std::string>& entered);

    std::string Root;
    bool KeepRoot = false;
};
