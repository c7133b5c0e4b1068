// Regions of memory that the kernel may back with 2 MiB pages. Where the
// first touch of each 4 KiB page traps into the hypervisor (several
// microseconds on virtual machines), megabytes that are filled once — the
// build's in-memory temporary files — cost far less in huge pages, and a
// file written to disk and read back instead costs more still.
#pragma once

#include <cstddef>

namespace treepak {

namespace platform {

inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// True when the system backs regions that ask for it with huge pages.
// Without them, memory touched once costs more than the page cache, so
// callers keep their in-memory buffers small.
bool HugePagesAvailable();

// A region of `bytes` aligned to kHugePageBytes and advised for huge pages
// (its whole 2 MiB stretches get them, a shorter tail small pages); nullptr
// when out of memory.
void* AllocateHugeRegion(size_t bytes);
// Returns a region from AllocateHugeRegion, given the same size.
void FreeHugeRegion(void* region, size_t bytes);

}  // namespace platform

}  // namespace treepak
