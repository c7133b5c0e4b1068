// The engines' and compressors' large blocks (windows, hash tables, block
// buffers) in huge pages. Each compressor fills its tables once when
// created, and on virtual machines every first touch of a 4 KiB page traps;
// in 2 MiB pages the same tables cost a few faults. A block of a megabyte
// or more gets a region of its own, returned when freed. Smaller ones, when
// the caller lets them share, are carved from common 2 MiB regions (which
// are resident whole once touched) and kept by size when freed, since the
// writer makes a fresh compressor for each folder with the same sizes.
// Thread-safe: the build's workers allocate too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace treepak {

namespace platform {

// The smallest block served from shared regions, and the smallest with a
// region of its own; others are left to malloc.
inline constexpr uint32_t kSharedBlockMinimum = 32 * 1024;
inline constexpr uint32_t kOwnRegionMinimum = 1024 * 1024;

// A block of `size` bytes, or nullptr when it is too small for the policy,
// huge pages are not offered or memory is short (the caller then uses
// malloc).
void* AllocateLargeBlock(uint32_t size, bool share);
// Takes back a block from AllocateLargeBlock; false (and nothing done) for
// any other pointer.
bool FreeLargeBlock(void* block);

}  // namespace platform

}  // namespace treepak
