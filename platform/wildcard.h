// File-name wildcard matching of the tool's command line: '*' matches any
// run of characters, '?' exactly one, everything else itself with ASCII case
// ignored. A pattern ending in ".*" also matches names without a dot, so
// "*.*" matches every name and "readme.*" matches "readme".
#pragma once

#include <string_view>

namespace treepak {

namespace platform {

bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace platform

}  // namespace treepak
