/// @file
/// A file read whole into memory with a line cursor, and the small process-wide cache of such
/// files that text readers go through so a data file is read from disk once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class GBufferedFile {
public:
    /// Largest file Load accepts (1 GiB).
    static const int32_t MAXSIZE = 0x40000000;

    GBufferedFile() = default;
    virtual ~GBufferedFile();
    GBufferedFile(const GBufferedFile&) = delete;
    GBufferedFile& operator=(const GBufferedFile&) = delete;

    /// Reads the whole file into memory. False (with a log line) when it cannot be opened, is
    /// too large, cannot be allocated or cannot be read completely; the object is then empty
    /// and at its end. A second Load replaces what the first one read.
    bool Load(std::string path);
    /// Copies the next line, without its line end (LF or CR LF), into buffer and terminates it.
    /// At most capacity - 1 bytes are stored; the rest of a longer line comes with the next
    /// calls. At the end of the data the buffer is left untouched.
    void ReadLine(char* buffer, int capacity);
    /// True when the last ReadLine stopped for lack of room before the line's end.
    bool IsLineCut() const { return LineCut; }
    /// Back to the first byte; an empty file stays at its end.
    void Rewind();

    const char* GetData() const { return Data; }
    int32_t GetSize() const { return DataSize; }
    bool IsEOF() const { return AtEnd; }
    /// The path of the last successful Load; empty otherwise.
    const std::string& GetFilePath() const { return FilePath; }

private:
    void Release();
    /// Leaves the object empty and at its end after a failed load.
    bool FailLoad();

    char* Data = nullptr;
    char* Cursor = nullptr;
    int32_t Position = 0;
    int32_t DataSize = 0;
    bool AtEnd = false;
    std::string FilePath;
    FILE* FileHandle = nullptr;
    bool LineCut = false;
};

class GBufferedFileManager {
public:
    static const int MAXFILES = 10;

    GBufferedFileManager() = default;
    virtual ~GBufferedFileManager() = default;
    GBufferedFileManager(const GBufferedFileManager&) = delete;
    GBufferedFileManager& operator=(const GBufferedFileManager&) = delete;

    /// The cached file for this exact path, rewound; otherwise a newly loaded one in the first
    /// free slot, or in slot 0 once all are taken. Never null, even when the load failed. The
    /// pointer is valid until a later GetFile reuses its slot, so use it at once.
    GBufferedFile* GetFile(std::string path);

private:
    std::unique_ptr<GBufferedFile> Slots[MAXFILES];
};

GBufferedFileManager& GetBufferedFileManager();
