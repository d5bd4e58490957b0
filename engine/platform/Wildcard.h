// Name matching with the directory-search wildcards: '*' any run, '?' one character, and a
// trailing ".*" that also matches a name without any dot (so "*.*" matches every name).
// Shared by both systems' directory search so the rules cannot drift apart.
#pragma once

#include <string>

namespace Wildcard {

bool HasWildcards(const std::string& pattern);
bool Matches(const std::string& pattern, const std::string& name);

}  // namespace Wildcard
