// Finding the next cabinet of a set beside the one before it. Cabinets
// copied from case-insensitive systems often change case on the way, so a
// name that does not exist as stored is matched ignoring ASCII case, when
// exactly one entry of the directory matches.
#pragma once

#include <string>

namespace treepak {

// The name to open in `directory` (empty or ending in a separator) for the
// stored name: the stored name itself when it exists, else the one entry
// that matches it ignoring case. Empty when there is none (or several);
// *problem then says so: "cannot open the next cabinet of the set: ...
// (looked in DIR)".
std::string FindNextCabinet(const std::string& directory, const std::string& storedName, std::string* problem);

}  // namespace treepak
