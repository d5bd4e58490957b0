/// @file
/// File and folder operations the library uses instead of calling the system directly. Paths
/// are byte strings with either separator. Failures show in the result; deletions also log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class GFile {
public:
    /// A C stream opened with mode, or null; the caller closes it.
    static FILE* Open(std::string fileName, std::string mode);
    /// True only for an existing file: a folder is no file here.
    static bool Exists(std::string path);
    /// The low 32 bits of the file's size, or 0xFFFFFFFF when it cannot be opened.
    static uint32_t GetSize(std::string path);
    /// Copies source over target, replacing an existing target.
    static bool Copy(std::string source, std::string target);
    /// Deletes one file. A read-only file is not deleted; failures are logged with the
    /// system's reason.
    static bool Delete(std::string path);
    /// Deletes a folder (given without a trailing separator) and everything below it. False
    /// when the folder is still there afterwards; a folder that is not there is no error.
    static bool DeleteFolderTree(std::string folder);
    /// Deletes the files below folder (given with its trailing separator), silently; the
    /// folders stay.
    static void DeleteFilesInFolder(std::string folder);
    /// The first of base.ext, base(1).ext, base(2).ext, ... that names no existing file.
    static std::string MakeUniqueName(std::string base, std::string extension);
    /// name unchanged when it already ends in extension (".png", with its dot), else with it
    /// appended. A name no longer than the extension always gets it.
    static std::string EnsureExtension(std::string name, std::string extension);
    /// The folder of the running executable, without a trailing separator.
    static std::string GetExeFolder();
};
