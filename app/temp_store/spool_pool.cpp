#include "app/temp_store/spool_pool.h"

#include <cstdlib>

#include "cabinet/tp_assert.h"
#include "platform/huge_pages.h"

namespace treepak {

namespace {

constexpr size_t kChunksPerRegion = platform::kHugePageBytes / SpoolPool::kChunkSize;
static_assert(platform::kHugePageBytes % SpoolPool::kChunkSize == 0);

}  // namespace

SpoolPool::SpoolPool(size_t limitBytes, bool hugePages)
    : limitChunks_(limitBytes / kChunkSize), hugePages_(hugePages) {
    // Room for every chunk up front (a last region may carve more than the
    // limit), so that releasing one never allocates.
    free_.reserve(hugePages_ ? (limitChunks_ + kChunksPerRegion - 1) / kChunksPerRegion * kChunksPerRegion
                             : limitChunks_);
}

SpoolPool::~SpoolPool() {
    if (hugePages_) {
        for (void* region : regions_) platform::FreeHugeRegion(region, platform::kHugePageBytes);
    } else {
        for (uint8_t* chunk : free_) std::free(chunk);
    }
}

bool SpoolPool::AddRegion() {
    void* region = platform::AllocateHugeRegion(platform::kHugePageBytes);
    if (region == nullptr) return false;
    try {
        regions_.push_back(region);
    } catch (...) {
        platform::FreeHugeRegion(region, platform::kHugePageBytes);
        return false;
    }
    // Handed out from the region's start, so that a partly used region
    // touches as few pages as it can.
    auto* base = static_cast<uint8_t*>(region);
    for (size_t i = kChunksPerRegion; i-- > 0;) free_.push_back(base + i * kChunkSize);
    return true;
}

uint8_t* SpoolPool::Acquire() {
    if (inUse_ >= limitChunks_) return nullptr;
    uint8_t* chunk = nullptr;
    if (free_.empty() && hugePages_ && !AddRegion()) return nullptr;
    if (!free_.empty()) {
        chunk = free_.back();
        free_.pop_back();
    } else {
        chunk = static_cast<uint8_t*>(std::malloc(kChunkSize));
        if (chunk == nullptr) return nullptr;
    }
    ++inUse_;
    return chunk;
}

void SpoolPool::Release(uint8_t* chunk) {
    TP_ASSERT(chunk != nullptr && inUse_ > 0);
    --inUse_;
    // Kept chunks never outnumber the reserved room, since each was in use
    // once or came from a region.
    free_.push_back(chunk);
}

}  // namespace treepak
