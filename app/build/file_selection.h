// The list of files selected for the cabinet, in walk order, and the walk
// that fills it.
#pragma once

#include <string>
#include <vector>

// Parallel tables; entries are only appended. A compress flag of 1 means
// "compress with the type the options choose"; the build driver sets it to
// 0 for a file to be stored.
struct FileList {
    std::vector<std::string> paths;
    std::vector<int> compressFlags;
    int count() const { return static_cast<int>(paths.size()); }
};

extern FileList SelectedFiles;

using WalkCallback = void (*)(const std::string& path, void* context);

// Calls callback once per file found below dir whose name matches pattern.
// With recurse, every subdirectory (whatever the pattern) is walked
// completely before the directory's own files are reported, so the files of
// subdirectories come first, depth first. Entries come in byte order of
// their names; a directory that cannot be read adds nothing.
void WalkDirectory(const std::string& dir, const std::string& pattern, WalkCallback callback,
                   void* context, bool recurse);

// Selection: compressed KVF files and cabinets are refused with an error
// line, the housekeeping names of the skip list are left out (a verbose
// line), everything else is appended to *list with compress flag 1.
void CollectFile(const std::string& path, void* list);
