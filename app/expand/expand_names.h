// Where an extracted file goes: the stored name checked and turned into a
// path under the destination directory, and the directories it needs.
#pragma once

#include <string>
#include <string_view>

#include "app/common/stored_names.h"

namespace treepak {

// The destination joined with the stored name, its '\' separators turned
// into the native '/'.
std::string OutputPathFor(std::string_view destination, std::string_view storedName);

// The directory part of a path (the rule of CutToDirectory).
std::string ParentDirectory(const std::string& path);

// Creates the directory and every missing parent, from the top down.
// Failures show later, as the failed creation of the file.
void CreateDirectoryPath(const std::string& path);

}  // namespace treepak
