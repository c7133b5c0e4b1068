// Low-level file access in the manner of the C runtime's small integer
// handles. Open flags and permission modes are the C runtime's values (as the
// engines pass them); they are translated to the host's own here. Every call
// that can fail stores the host's error number (errno) in *error and leaves
// it untouched on success. Paths may be of any length (see long_paths.h).
#pragma once

#include <cstdint>

#include "cabinet/client_callbacks.h"

namespace treepak {

namespace platform {

// The callbacks' open flags, permission bits and seek origins under the
// platform's names.
inline constexpr int32_t OPEN_READ_ONLY = IO_OPEN_READ_ONLY;
inline constexpr int32_t OPEN_WRITE_ONLY = IO_OPEN_WRITE_ONLY;
inline constexpr int32_t OPEN_READ_WRITE = IO_OPEN_READ_WRITE;
inline constexpr int32_t OPEN_ACCESS_MASK = IO_OPEN_ACCESS_MASK;
inline constexpr int32_t OPEN_APPEND = IO_OPEN_APPEND;
inline constexpr int32_t OPEN_CREATE = IO_OPEN_CREATE;
inline constexpr int32_t OPEN_TRUNCATE = IO_OPEN_TRUNCATE;
inline constexpr int32_t OPEN_EXCLUSIVE = IO_OPEN_EXCLUSIVE;
inline constexpr int32_t OPEN_TEXT = IO_OPEN_TEXT;      // no meaning here: files are bytes
inline constexpr int32_t OPEN_BINARY = IO_OPEN_BINARY;  // the same
inline constexpr int32_t MODE_READ = IO_MODE_READ;
inline constexpr int32_t MODE_WRITE = IO_MODE_WRITE;
inline constexpr int SEEK_FROM_START = IO_SEEK_SET;
inline constexpr int SEEK_FROM_CURRENT = IO_SEEK_CUR;
inline constexpr int SEEK_FROM_END = IO_SEEK_END;

// Handle, or -1.
int32_t OpenFile(const char* path, int32_t flags, int32_t mode, int32_t* error);
// Bytes read (fewer than count only at the end of the file), or -1.
int32_t ReadFile(int32_t handle, void* buffer, uint32_t count, int32_t* error);
// Bytes written (all of them unless an error stopped the write), or -1.
int32_t WriteFile(int32_t handle, const void* buffer, uint32_t count, int32_t* error);
// 0, or -1.
int32_t CloseFile(int32_t handle, int32_t* error);
// New position from the start of the file, or -1.
int64_t SeekFile(int32_t handle, int64_t offset, int origin, int32_t* error);
// 0, or -1.
int32_t DeleteFile(const char* path, int32_t* error);

}  // namespace platform

}  // namespace treepak
