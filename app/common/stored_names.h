// The one rule for stored names that both sides share: the build leaves out
// a file whose name the expand side would refuse, and the expand side never
// writes such a name.
#pragma once

#include <string_view>

namespace treepak {

// A stored name that could land outside the destination directory: empty,
// absolute ('\' or '/' first), with a drive prefix ("C:"), or with an
// empty, "." or ".." component ('\' and '/' both separate components).
bool IsUnsafeStoredName(std::string_view storedName);

}  // namespace treepak
