// Low-level file access in the manner of the C runtime's small integer
// handles. Open flags and permission modes are the C runtime's values (as the
// engines pass them); they are translated to the host's own here. Every call
// that can fail stores the host's error number (errno) in *error and leaves
// it untouched on success. Paths may be of any length (see long_paths.h).
#pragma once

#include <cstdint>

namespace platform {

// Open flags: the access mode is in the two low bits.
inline constexpr int32_t OPEN_READ_ONLY = 0x0000;
inline constexpr int32_t OPEN_WRITE_ONLY = 0x0001;
inline constexpr int32_t OPEN_READ_WRITE = 0x0002;
inline constexpr int32_t OPEN_ACCESS_MASK = 0x0003;
inline constexpr int32_t OPEN_APPEND = 0x0008;
inline constexpr int32_t OPEN_CREATE = 0x0100;
inline constexpr int32_t OPEN_TRUNCATE = 0x0200;
inline constexpr int32_t OPEN_EXCLUSIVE = 0x0400;
inline constexpr int32_t OPEN_TEXT = 0x4000;    // no meaning here: files are bytes
inline constexpr int32_t OPEN_BINARY = 0x8000;  // the same

// Permission mode bits for a created file.
inline constexpr int32_t MODE_READ = 0x0100;
inline constexpr int32_t MODE_WRITE = 0x0080;

// Seek origins.
inline constexpr int SEEK_FROM_START = 0;
inline constexpr int SEEK_FROM_CURRENT = 1;
inline constexpr int SEEK_FROM_END = 2;

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
