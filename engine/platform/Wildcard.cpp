#include "platform/Wildcard.h"

namespace Wildcard {

namespace {

// Iterative glob match with single-star backtracking: linear in practice, no recursion.
bool Glob(const char* p, const char* pEnd, const char* n, const char* nEnd) {
    const char* starP = nullptr;
    const char* starN = nullptr;
    while (n < nEnd) {
        if (p < pEnd && (*p == '?' || *p == *n)) {
            ++p;
            ++n;
        } else if (p < pEnd && *p == '*') {
            starP = ++p;
            starN = n;
        } else if (starP) {
            p = starP;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pEnd && *p == '*') ++p;
    return p == pEnd;
}

}  // namespace

bool HasWildcards(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

bool Matches(const std::string& pattern, const std::string& name) {
    const char* p = pattern.data();
    const char* n = name.data();
    if (Glob(p, p + pattern.size(), n, n + name.size())) return true;
    // "stem.*" also takes names that have no dot at all.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos) {
        return Glob(p, p + pattern.size() - 2, n, n + name.size());
    }
    return false;
}

}  // namespace Wildcard
