// The memory that the writer's in-memory temporary files share: fixed-size
// chunks under one overall limit. Freed chunks are kept for the next file,
// since the writer creates and deletes its temporary files once per folder
// and a fresh allocation each time would cost more than the copying. With
// huge pages, chunks are carved from 2 MiB regions, so that filling
// megabytes costs a few page faults instead of one per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace treepak {

class SpoolPool {
public:
    static constexpr size_t kChunkSize = 64 * 1024;

    // At most `limitBytes` (rounded down to whole chunks) in use at once.
    SpoolPool(size_t limitBytes, bool hugePages);
    ~SpoolPool();
    SpoolPool(const SpoolPool&) = delete;
    SpoolPool& operator=(const SpoolPool&) = delete;

    // A chunk of kChunkSize bytes, or nullptr once the limit is reached or
    // memory runs out.
    uint8_t* Acquire();
    void Release(uint8_t* chunk);
    size_t ChunksInUse() const { return inUse_; }

private:
    // Puts a fresh region's chunks on the free list; false when out of memory.
    bool AddRegion();

    size_t limitChunks_;
    bool hugePages_;
    size_t inUse_ = 0;
    std::vector<uint8_t*> free_;
    std::vector<void*> regions_;
};

}  // namespace treepak
