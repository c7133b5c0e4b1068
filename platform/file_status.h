// What a path names, with symbolic links followed: kind, size, modification
// time, and the identity that tells whether two paths name the same file.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

struct FileStatus {
    uint64_t device;
    uint64_t inode;
    int64_t size;
    int64_t modified;  // seconds since 1970-01-01 00:00:00 UTC
    bool isRegular;
    bool isDirectory;
};

// False (errno in *error) when the path's metadata cannot be read.
bool GetFileStatus(const char* path, FileStatus* status, int32_t* error);

inline bool SameFile(const FileStatus& a, const FileStatus& b) {
    return a.device == b.device && a.inode == b.inode;
}

}  // namespace platform

}  // namespace treepak
