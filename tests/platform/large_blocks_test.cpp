// Large blocks in huge pages: blocks never overlap, freed ones come back by
// size, only our own pointers are taken back, and workers may allocate at
// once. Where the system offers no huge pages every request falls to malloc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/huge_pages.h"
#include "platform/large_blocks.h"

namespace treepak {

namespace {

using namespace platform;

TEST(LargeBlocks, DistinctBlocksReusedBySizeAndOnlyOursTakenBack) {
    if (!HugePagesAvailable()) {
        EXPECT_EQ(AllocateLargeBlock(kOwnRegionMinimum, true), nullptr);
        GTEST_SKIP() << "no transparent huge pages here";
    }
    // Too small for any region, or for a region of its own when not shared.
    EXPECT_EQ(AllocateLargeBlock(kSharedBlockMinimum - 1, true), nullptr);
    EXPECT_EQ(AllocateLargeBlock(kSharedBlockMinimum, false), nullptr);

    const uint32_t sizes[] = {kSharedBlockMinimum, 65536, 225952, 700000, kOwnRegionMinimum, 2097413};
    std::vector<std::pair<uint8_t*, uint32_t>> blocks;
    for (int round = 0; round < 3; ++round) {
        for (uint32_t size : sizes) {
            auto* block = static_cast<uint8_t*>(AllocateLargeBlock(size, true));
            ASSERT_NE(block, nullptr) << size;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
            std::memset(block, static_cast<int>(blocks.size()), size);
            blocks.emplace_back(block, size);
        }
    }
    std::sort(blocks.begin(), blocks.end());
    for (size_t i = 1; i < blocks.size(); ++i) {
        EXPECT_LE(blocks[i - 1].first + blocks[i - 1].second, blocks[i].first) << "blocks overlap";
    }

    int local = 0;
    EXPECT_FALSE(FreeLargeBlock(&local));
    EXPECT_FALSE(FreeLargeBlock(nullptr));
    uint8_t* shared = nullptr;
    for (auto [block, size] : blocks) {
        if (size == 225952) shared = block;
        EXPECT_TRUE(FreeLargeBlock(block));
    }
    EXPECT_FALSE(FreeLargeBlock(shared)) << "freed twice";
    // A freed shared block of the same size is handed out again.
    void* again = AllocateLargeBlock(225952, true);
    EXPECT_TRUE(again != nullptr && FreeLargeBlock(again));
}

TEST(LargeBlocks, WorkersAllocateAndFreeAtOnce) {
    if (!HugePagesAvailable()) GTEST_SKIP() << "no transparent huge pages here";
    auto work = [](int seed) {
        for (int i = 0; i < 200; ++i) {
            const uint32_t size = kSharedBlockMinimum * static_cast<uint32_t>(1 + (seed + i) % 5);
            auto* block = static_cast<uint8_t*>(AllocateLargeBlock(size, true));
            ASSERT_NE(block, nullptr);
            std::memset(block, seed, size);
            for (uint32_t at = 0; at < size; at += 4096) ASSERT_EQ(block[at], seed);
            ASSERT_TRUE(FreeLargeBlock(block));
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t <= 4; ++t) threads.emplace_back(work, t);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

}  // namespace treepak
