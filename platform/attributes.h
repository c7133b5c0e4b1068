// The attribute word of the tool's file model, mapped onto POSIX metadata.
// A file reports the archive bit, plus read-only when its owner has no write
// permission; a directory reports the directory bit. Setting attributes
// honours read-only only: it removes every write permission, and clearing it
// gives the owner write permission back. The other bits have no POSIX
// counterpart and are ignored.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

inline constexpr uint32_t ATTRIBUTE_READONLY = 0x01;
inline constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t ATTRIBUTE_ARCHIVE = 0x20;

// False when the path's metadata cannot be read (symbolic links followed).
bool GetFileAttributes(const char* path, uint32_t* attributes);
bool SetFileAttributes(const char* path, uint32_t attributes);
// The same for the file open on `handle`; the permissions are only written
// when they change.
bool SetHandleAttributes(int32_t handle, uint32_t attributes);
// True if the path names an existing directory (or a link to one).
bool IsDirectoryPath(const char* path);

}  // namespace platform

}  // namespace treepak
