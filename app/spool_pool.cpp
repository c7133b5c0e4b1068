#include "app/spool_pool.h"

#include <cassert>
#include <cstdlib>

SpoolPool::SpoolPool(size_t limitBytes) : limitChunks_(limitBytes / kChunkSize) {
    // Room for every chunk up front, so that releasing one never allocates.
    free_.reserve(limitChunks_);
}

SpoolPool::~SpoolPool() {
    for (uint8_t* chunk : free_) std::free(chunk);
}

uint8_t* SpoolPool::Acquire() {
    if (inUse_ >= limitChunks_) return nullptr;
    uint8_t* chunk = nullptr;
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
    assert(chunk != nullptr && inUse_ > 0);
    --inUse_;
    // Kept chunks never outnumber the limit, since each was in use once.
    free_.push_back(chunk);
}
