// Opening a file that is to be stored: one open serves both the facts the
// entry records (modification time, read-only bit) and the reading, and each
// read is a single host read, so that a short file costs one open, one
// status query, two reads and a close.
#pragma once

#include <cstdint>

#include "platform/dos_time.h"

namespace treepak {

namespace platform {

// What shows that a file changed while it was read: its size and its
// modification time to the nanosecond.
struct FileStamp {
    int64_t size;
    int64_t modifiedSeconds;
    int64_t modifiedNanoseconds;
    bool operator==(const FileStamp&) const = default;
};

// A read-only handle on the regular file at `path` with its facts in *info
// and *stamp, or -1 (errno in *error) when it cannot be opened or is no
// regular file. The path may be of any length.
// The open does not block, so a FIFO put in place of a listed file cannot
// stall it; regular files read the same either way.
int32_t OpenSourceFile(const char* path, SourceFileInfo* info, FileStamp* stamp, int32_t* error);

// The stamp of the file open on `handle` now; false when it cannot be read.
bool GetFileStamp(int32_t handle, FileStamp* stamp);

// The size of the file at `path` from one status query (no open), or -1.
int64_t FileSize(const char* path);

// At most `count` bytes in one host read: fewer than asked does not mean
// the end of the file, 0 does. Or -1.
int32_t ReadSome(int32_t handle, void* buffer, uint32_t count, int32_t* error);

}  // namespace platform

}  // namespace treepak
