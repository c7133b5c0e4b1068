// Flushing finished files to stable storage, so that a source deleted after
// its cabinet was written cannot outlive the cabinet after a crash.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

// Flushes the file's data and metadata. 0, or -1 with errno in *error.
int32_t SyncFile(const char* path, int32_t* error);
// Flushes the directory's entries (a new file's name lives there); an empty
// text means the current directory. 0, or -1 with errno in *error.
int32_t SyncDirectory(const char* path, int32_t* error);

}  // namespace platform

}  // namespace treepak
