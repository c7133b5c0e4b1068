// The checks every stored name passes before anything is written: an
// expansion must accept it (see app/common/stored_names.h), it must fit the
// engine's name buffer, and no two files may share it. Readers of cabinets
// look names up without regard to ASCII case, so names that differ only in
// case count as the same.
#pragma once

#include <string>
#include <vector>

#include "inputs.h"

namespace treepak {

// False with a message naming the offending entry (both, for a shared name).
bool CheckStoredNames(const std::vector<InputFile>& files, std::string* error);

}  // namespace treepak
