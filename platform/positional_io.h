// Reads and writes at an explicit file offset, leaving the handle's own
// position alone, so that several threads can share one handle. Error
// numbers as in file_io.h.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

// Bytes read (fewer than count only at the end of the file), or -1.
int32_t ReadFileAt(int32_t handle, void* buffer, uint32_t count, uint64_t offset, int32_t* error);
// Bytes written (all of them unless an error stopped the write), or -1.
int32_t WriteFileAt(int32_t handle, const void* buffer, uint32_t count, uint64_t offset, int32_t* error);

}  // namespace platform

}  // namespace treepak
