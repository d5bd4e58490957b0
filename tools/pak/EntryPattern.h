// Which entries a name typed on the command line selects. Either separator may be typed for
// the other; otherwise names are compared byte for byte, letter case included, as lookups
// compare them. '*' matches any run of bytes and '?' one byte, both within one folder level,
// never across a separator; a name ending in a separator selects everything below the
// folder it names, at any depth. A name without wildcards selects the entries of exactly
// that name, and since a wildcard also matches itself, every stored name can be typed back.
#pragma once

#include <string>
#include <vector>

class EntryPattern {
public:
    explicit EntryPattern(const std::string& typed);
    bool Matches(const std::string& name) const;

private:
    std::vector<std::string> Levels;
    bool Folder = false;  // a trailing separator: the entries below the folder
    bool Empty = false;   // matches nothing
};

// Whether two stored names are the same name once '/' and '\' are taken as one separator.
bool SameEntryName(const std::string& a, const std::string& b);
