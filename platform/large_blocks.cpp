#include "platform/large_blocks.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "platform/huge_pages.h"

namespace treepak {

namespace platform {

namespace {

constexpr size_t kBlockAlignment = 64;  // a cache line, more than any engine needs

struct Region {
    uint8_t* start;
    size_t bytes;
    bool shared;  // carved into blocks, else one block of its own
};

struct Block {
    uint8_t* start;
    size_t bytes;
};

class LargeBlocks {
public:
    void* Allocate(uint32_t size, bool share) {
        const size_t bytes = (size_t{size} + kBlockAlignment - 1) & ~(kBlockAlignment - 1);
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            if (size >= kOwnRegionMinimum) return OwnRegion(bytes);
            if (!share || size < kSharedBlockMinimum) return nullptr;
            for (size_t i = 0; i < free_.size(); ++i) {
                if (free_[i].bytes == bytes) {
                    Block block = free_[i];
                    free_[i] = free_.back();
                    free_.pop_back();
                    used_.push_back(block);
                    return block.start;
                }
            }
            if (carved_ + bytes > kHugePageBytes || current_ == nullptr) {
                uint8_t* region = NewRegion(kHugePageBytes, true);
                if (region == nullptr) return nullptr;
                current_ = region;
                carved_ = 0;
            }
            Block block{current_ + carved_, bytes};
            used_.push_back(block);
            carved_ += bytes;
            return block.start;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    bool Free(void* pointer) {
        auto* start = static_cast<uint8_t*>(pointer);
        std::lock_guard<std::mutex> lock(mutex_);
        auto used = std::find_if(used_.begin(), used_.end(), [&](const Block& b) { return b.start == start; });
        if (used == used_.end()) return false;
        const Block block = *used;
        *used = used_.back();
        used_.pop_back();
        auto region = std::find_if(regions_.begin(), regions_.end(),
                                   [&](const Region& r) { return r.start == start && !r.shared; });
        if (region != regions_.end()) {
            FreeHugeRegion(region->start, region->bytes);
            *region = regions_.back();
            regions_.pop_back();
        } else {
            try {
                free_.push_back(block);
            } catch (const std::bad_alloc&) {
                // Out of memory even for the list: the block is only lost.
            }
        }
        return true;
    }

private:
    uint8_t* NewRegion(size_t bytes, bool shared) {
        void* region = AllocateHugeRegion(bytes);
        if (region == nullptr) return nullptr;
        try {
            regions_.push_back({static_cast<uint8_t*>(region), bytes, shared});
        } catch (...) {
            FreeHugeRegion(region, bytes);
            throw;
        }
        return static_cast<uint8_t*>(region);
    }

    void* OwnRegion(size_t bytes) {
        used_.reserve(used_.size() + 1);  // so that recording the region cannot throw after it is mapped
        uint8_t* region = NewRegion(bytes, false);
        if (region == nullptr) return nullptr;
        used_.push_back({region, bytes});
        return region;
    }

    std::mutex mutex_;
    std::vector<Region> regions_;
    std::vector<Block> used_;
    std::vector<Block> free_;
    uint8_t* current_ = nullptr;
    size_t carved_ = 0;
};

LargeBlocks& Blocks() {
    static LargeBlocks* blocks = new LargeBlocks;  // outlives every static user
    return *blocks;
}

}  // namespace

void* AllocateLargeBlock(uint32_t size, bool share) {
    if (size < kSharedBlockMinimum || !HugePagesAvailable()) return nullptr;
    return Blocks().Allocate(size, share);
}

bool FreeLargeBlock(void* block) {
    if (block == nullptr || !HugePagesAvailable()) return false;
    return Blocks().Free(block);
}

}  // namespace platform

}  // namespace treepak
