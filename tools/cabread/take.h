// --test, --extract and --pipe: the files of a cabinet set through the
// reader client, into nowhere, under a directory, or to standard output.
#pragma once

#include <string>

#include "options.h"

namespace treepak {

// Returns the exit status.
int RunTake(const CabreadOptions& options, const std::string& cabinetPath, const std::string& shownPath);

}  // namespace treepak
