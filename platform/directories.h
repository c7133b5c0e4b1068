// Directory enumeration and creation. Entries come back sorted by the byte
// order of their names, so the same tree always gives the same walk.
// Regular files and symbolic links to regular files are listed as files;
// real directories as directories; links to directories, dangling links,
// sockets, FIFOs and devices are never listed (a link to a directory could
// make a cycle, and reading a FIFO could hang). "." and ".." are not listed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace treepak {

namespace platform {

struct DirectoryEntry {
    std::string name;
    bool isDirectory;
    // Of a file: its size (a link's target's) and 0 when it may be opened
    // for reading, else the errno an open would fail with (the access check
    // the open would make, without the open).
    uint64_t size = 0;
    int32_t readError = 0;
};

// Entries of `directory` whose names match the wildcard `pattern`; false
// (no entries, errno in *error when error is given) when the directory cannot be read, or the
// status of one of its entries cannot (a directory that may be read but not
// searched). An empty directory text means the current directory; the path
// may be of any length.
bool ListDirectory(const std::string& directory, const std::string& pattern,
                   std::vector<DirectoryEntry>* entries, int32_t* error = nullptr);

// True when the directory was created.
bool CreateDirectory(const char* path);
// True when the directory was removed (it must be empty).
bool RemoveDirectory(const char* path);

}  // namespace platform

}  // namespace treepak
