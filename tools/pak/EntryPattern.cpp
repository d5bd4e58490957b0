#include "EntryPattern.h"

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::vector<std::string> SplitLevels(const std::string& name) {
    std::vector<std::string> levels(1);
    for (char c : name) {
        if (IsSeparator(c)) {
            levels.emplace_back();
        } else {
            levels.back() += c;
        }
    }
    return levels;
}

// '*' and '?' against one level, with the usual single backtrack to the last '*'.
bool MatchLevel(const std::string& pattern, const std::string& text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

EntryPattern::EntryPattern(const std::string& typed) {
    std::string trimmed = typed;
    while (!trimmed.empty() && IsSeparator(trimmed.back())) {
        trimmed.pop_back();
        Folder = true;
    }
    Empty = typed.empty();
    // A lone separator names the archive's top: everything.
    if (!trimmed.empty()) Levels = SplitLevels(trimmed);
}

bool EntryPattern::Matches(const std::string& name) const {
    if (Empty) return false;
    const std::vector<std::string> levels = SplitLevels(name);
    if (Folder ? levels.size() <= Levels.size() : levels.size() != Levels.size()) return false;
    for (size_t i = 0; i < Levels.size(); ++i) {
        if (!MatchLevel(Levels[i], levels[i])) return false;
    }
    return true;
}

bool SameEntryName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && !(IsSeparator(a[i]) && IsSeparator(b[i]))) return false;
    }
    return true;
}
