// Shapes of the memory and file callbacks a client gives the two engines;
// the engines hand them on to their compressors and decoders. The writer's
// allocator pair takes no context; the reader's file calls are shaped like
// the C runtime's low-level ones.
#pragma once

#include <cstdint>

using FCIAllocFn = void* (*)(uint32_t size);
using FCIFreeFn = void (*)(void* block);

using FEIAllocFn = void* (*)(uint32_t size);
using FEIFreeFn = void (*)(void* block);
using FEIOpenFn = int (*)(const char* path, int flags, int mode);
using FEIReadFn = int32_t (*)(int handle, void* buffer, uint32_t count);
using FEIWriteFn = int32_t (*)(int handle, const void* buffer, uint32_t count);
using FEICloseFn = int (*)(int handle);
using FEISeekFn = int32_t (*)(int handle, int32_t offset, int origin);

// Open flags, permission bits and seek origins as they pass through the open
// and seek callbacks of both engines and the decoders: the values of the C
// runtime's low-level calls, which a client translates to its host's. The
// access mode is in the two low bits.
inline constexpr int32_t IO_OPEN_READ_ONLY = 0x0000;
inline constexpr int32_t IO_OPEN_WRITE_ONLY = 0x0001;
inline constexpr int32_t IO_OPEN_READ_WRITE = 0x0002;
inline constexpr int32_t IO_OPEN_ACCESS_MASK = 0x0003;
inline constexpr int32_t IO_OPEN_APPEND = 0x0008;
inline constexpr int32_t IO_OPEN_CREATE = 0x0100;
inline constexpr int32_t IO_OPEN_TRUNCATE = 0x0200;
inline constexpr int32_t IO_OPEN_EXCLUSIVE = 0x0400;
inline constexpr int32_t IO_OPEN_TEXT = 0x4000;
inline constexpr int32_t IO_OPEN_BINARY = 0x8000;
inline constexpr int32_t IO_MODE_READ = 0x0100;   // owner may read a created file
inline constexpr int32_t IO_MODE_WRITE = 0x0080;  // and write it
inline constexpr int IO_SEEK_SET = 0;
inline constexpr int IO_SEEK_CUR = 1;
inline constexpr int IO_SEEK_END = 2;
