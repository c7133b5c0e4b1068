// The list of files selected for the cabinet, in walk order, and the walk
// that fills it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/build/path_store.h"
#include "platform/directories.h"

namespace treepak {

// Parallel tables; entries are only appended. A compress flag of 1 means
// "compress with the type the options choose"; the build driver sets it to
// 0 for a file to be stored.
struct FileList {
    PathStore pathBytes;
    std::vector<const char*> paths;  // into pathBytes
    std::vector<int> compressFlags;
    std::vector<uint64_t> sizes;  // as the selection found them
    int count() const { return static_cast<int>(paths.size()); }
    // Files the walk reported, listed or not.
    int found = 0;
    // With flatten: each stored name, and the listed path stored under it.
    std::unordered_map<std::string, std::string> flatNames = {};
};

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
// appended to *list with compress flag 1. Stored names follow Paths.source
// and Options.flatten.
void CollectFile(const std::string& path, const platform::DirectoryEntry& file, void* list);

}  // namespace treepak
