#include "data/GBufferedFile.h"

#include <new>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

GBufferedFile::~GBufferedFile() {
    if (FileHandle != nullptr) fclose(FileHandle);
    delete[] Data;
}

void GBufferedFile::Release() {
    delete[] Data;
    Data = nullptr;
    Cursor = nullptr;
    Position = 0;
    DataSize = 0;
    AtEnd = false;
    LineCut = false;
    FilePath.clear();
}

bool GBufferedFile::FailLoad() {
    if (FileHandle != nullptr) fclose(FileHandle);
    FileHandle = nullptr;
    Release();
    AtEnd = true;
    return false;
}

bool GBufferedFile::Load(std::string path) {
    // A reused object starts from nothing, so no earlier content leaks into this load.
    Release();

    if (path.empty()) GetDebugLog().LogError("GBufferedFile invalid file path");

    FileHandle = Platform::OpenStream(path, "rb");
    if (FileHandle == nullptr) {
        char error[2048];
        snprintf(error, sizeof(error), "GBufferedFile failed to open file [%s]", path.c_str());
        GetDebugLog().Log(error);
        return FailLoad();
    }

    int64_t size = Platform::StreamSize(FileHandle);
    if (size > MAXSIZE) {
        GetDebugLog().LogError("GBufferedFile File size > 1 gig");
        return FailLoad();
    }
    if (size < 0) size = 0;
    DataSize = static_cast<int32_t>(size);

    Data = new (std::nothrow) char[DataSize > 0 ? DataSize : 1];
    if (Data == nullptr) {
        GetDebugLog().LogError("Failed to allocate GBufferedFile data");
        return FailLoad();
    }

    // The file may have shrunk since it was measured, or be one that yields less than its
    // size; serving the unread tail would hand out garbage.
    size_t got = DataSize > 0 ? fread(Data, 1, static_cast<size_t>(DataSize), FileHandle) : 0;
    fclose(FileHandle);
    FileHandle = nullptr;
    if (got != static_cast<size_t>(DataSize)) {
        char error[2048];
        snprintf(error, sizeof(error), "GBufferedFile short read [%s] %d of %d bytes", path.c_str(),
                 static_cast<int>(got), static_cast<int>(DataSize));
        GetDebugLog().LogError(error);
        return FailLoad();
    }

    Cursor = Data;
    Position = 0;
    AtEnd = DataSize <= 0;
    FilePath = path;
    return true;
}

void GBufferedFile::ReadLine(char* buffer, int capacity) {
    LineCut = false;
    if (DataSize <= 0 || AtEnd) return;

    // Without room for one character of text a line is skipped whole, so callers that read
    // until the end still get there.
    const bool canSplit = buffer != nullptr && capacity >= 2;
    const int room = canSplit ? capacity - 1 : 0;
    int length = 0;
    while (Position < DataSize) {
        char c = *Cursor;
        if (c == '\n') {
            Cursor++;
            Position++;
            break;
        }
        if (c == '\r' && Position + 1 < DataSize && Cursor[1] == '\n') {
            Cursor += 2;
            Position += 2;
            break;
        }
        if (canSplit && length == room) {
            LineCut = true;  // the rest comes with the next call
            break;
        }
        if (canSplit) buffer[length] = c;
        length++;
        Cursor++;
        Position++;
    }
    if (buffer != nullptr && capacity >= 1) buffer[canSplit ? length : 0] = '\0';
    if (Position >= DataSize) AtEnd = true;
}

void GBufferedFile::Rewind() {
    Cursor = Data;
    Position = 0;
    LineCut = false;
    // An empty or failed file stays at its end; otherwise a reader looping until the end of a
    // rewound empty file would never get there.
    AtEnd = DataSize <= 0;
}

GBufferedFile* GBufferedFileManager::GetFile(std::string path) {
    for (auto& slot : Slots) {
        // A failed load has an empty path and is never served again, not even for "".
        if (slot && !slot->GetFilePath().empty() && slot->GetFilePath() == path) {
            slot->Rewind();
            return slot.get();
        }
    }
    int target = 0;
    for (int i = 0; i < MAXFILES; i++) {
        if (!Slots[i]) {
            target = i;
            break;
        }
    }
    // With every slot taken the file in slot 0 makes way; slots 1 to 9 keep their files.
    Slots[target] = std::make_unique<GBufferedFile>();
    Slots[target]->Load(path);
    return Slots[target].get();
}

GBufferedFileManager& GetBufferedFileManager() {
    static GBufferedFileManager manager;
    return manager;
}
