// What the pak commands share: opening archives, naming entries and paths in messages, and
// the messages themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pak/GPakFile.h"

namespace CommandSupport {

// Entry fields may be damaged: never read past them.
std::string NameOf(const GPakEntry& entry);
std::string SourceOf(const GPakEntry& entry);

// One message on standard error, "pak: " and the text escaped, on one line of its own.
void Complain(const std::string& text);
// The system's text for an error, without its line end or full stop.
std::string SystemReason(uint32_t error);
// An entry name as messages quote it: in single quotes, with '/' between folders.
std::string Quoted(const std::string& name);
// "entry 3 'docs/readme.txt'".
std::string EntryLabel(int32_t index, const GPakEntry& entry);

// False, after saying why, for a damaged entry; what is done with it, if anything, goes
// before its label ("skipping ").
bool UsableEntry(const GPakFile& pak, const std::string& archive, int32_t index,
                 const char* doing = "");

// True (after saying so) when path is a folder, which no command takes for an archive.
bool RefuseFolder(const std::string& path);
// Loads an archive for reading. On failure says why and gives the exit status; damaged
// records inside a readable table are left to the caller.
int Open(GPakFile& pak, const std::string& archive);

// The entries that names select, in table order, each once; names that select nothing are
// said to be unmatched (with status kIncomplete).
std::vector<int32_t> Select(const GPakFile& pak, const std::vector<std::string>& names,
                            int& status);

}  // namespace CommandSupport
