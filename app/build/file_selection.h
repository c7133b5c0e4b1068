// The list of files selected for the cabinet, and the walk that fills it.
#pragma once

#include <string>

#include "app/build/file_list.h"
#include "platform/directories.h"

namespace treepak {

extern FileList SelectedFiles;

using WalkCallback = void (*)(const std::string& path, const platform::DirectoryEntry& file, void* context);

// Calls callback once per file found below dir whose name matches pattern,
// with the file's listing entry (its size and whether it can be read).
// With recurse, every subdirectory (whatever the pattern) is walked
// completely before the directory's own files are reported, so the files of
// subdirectories come first, depth first. Entries come in byte order of
// their names; a directory that cannot be read adds nothing and is reported
// on standard error. Paths may grow past any length limit of the host.
void WalkDirectory(const std::string& dir, const std::string& pattern, WalkCallback callback,
                   void* context, bool recurse);

// Selection: compressed KVF files and cabinets are refused with an error
// line, the housekeeping names of the skip list are left out (a verbose
// line); so are, each with a diagnostic, a file that cannot be opened, one
// whose name would not come back the same from the cabinet, and with
// flatten one whose stored name an earlier file has. Everything else is
// appended to *list, to be compressed. Stored names follow Paths.source
// and Options.flatten.
void CollectFile(const std::string& path, const platform::DirectoryEntry& file, void* list);

}  // namespace treepak
