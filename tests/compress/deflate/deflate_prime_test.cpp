// Priming must leave exactly the match state compressing the block would
// have left: for every block k of a folder, prime(k) then compress(k + 1)
// gives the bytes of compress(k) then compress(k + 1).
#include <gtest/gtest.h>

#include "deflate_test_util.h"

namespace {

using namespace deflatetest;

// Blocks of one folder: text, random, mixed, and text whose last bytes
// repeat earlier ones, so that the final match runs into the block's end
// (the case where the matcher stops inserting early) at varying distances
// from it.
std::vector<std::vector<uint8_t>> FolderBlocks(uint64_t seed) {
    SplitMix rng{seed};
    std::vector<std::vector<uint8_t>> blocks;
    const int count = 3 + static_cast<int>(rng.Below(5));
    for (int k = 0; k < count; ++k) {
        std::vector<uint8_t> b;
        switch (rng.Below(4)) {
            case 0: b = WordsOf(kBlock, rng.Next()); break;
            case 1: b = RandomOf(kBlock, rng.Next()); break;
            case 2: {
                b = WordsOf(kBlock / 2, rng.Next());
                std::vector<uint8_t> r = RandomOf(kBlock / 2, rng.Next());
                b.insert(b.end(), r.begin(), r.end());
                break;
            }
            default: {
                const uint32_t tail = 3 + rng.Below(400);
                const uint32_t shortBy = rng.Below(4);  // 0..3 bytes of no match after it
                b = WordsOf(kBlock - tail - shortBy, rng.Next());
                const uint32_t from = rng.Below(static_cast<uint32_t>(b.size()) - tail);
                b.insert(b.end(), b.begin() + from, b.begin() + from + tail);
                for (uint32_t i = 0; i < shortBy; ++i) b.push_back(static_cast<uint8_t>(0xF0 + i));
            }
        }
        blocks.push_back(std::move(b));
    }
    blocks.push_back(WordsOf(1 + rng.Below(kBlock - 1), rng.Next()));  // a folder's last block is short
    return blocks;
}

TEST(DeflatePrime, PrimedHandleCompressesTheNextBlockAsTheChainedOne) {
    Compressor primed;
    int earlyStops = 0, fullInsertions = 0;
    for (uint64_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        const std::vector<std::vector<uint8_t>> blocks = FolderBlocks(seed);
        Compressor chained;
        std::vector<std::vector<uint8_t>> outputs;
        std::vector<uint32_t> tokens;
        for (const auto& b : blocks) {
            outputs.push_back(chained.Compress(b));
            uint32_t token = 0;
            ASSERT_EQ(DeflatePrimeToken(chained.handle, static_cast<uint32_t>(b.size()), &token), COMPRESSOR_OK);
            tokens.push_back(token);
            if (b.size() == kBlock) ++(token == kBlock - 2 ? fullInsertions : earlyStops);
        }
        // One handle for every seed: whatever an earlier folder left in it
        // must not show through.
        for (size_t k = 0; k + 1 < blocks.size(); ++k) {
            ASSERT_EQ(DeflatePrime(primed.handle, blocks[k].data(), static_cast<uint32_t>(blocks[k].size()),
                                   tokens[k]),
                      COMPRESSOR_OK);
            ASSERT_EQ(primed.Compress(blocks[k + 1]), outputs[k + 1]) << "block " << k + 1;
        }
    }
    // Both kinds of state were exercised.
    EXPECT_GT(earlyStops, 10);
    EXPECT_GT(fullInsertions, 10);
}

TEST(DeflatePrime, RefusesWhatCannotBeAState) {
    Compressor c;
    std::vector<uint8_t> block = WordsOf(kBlock, 7);
    uint32_t token = 0;
    EXPECT_EQ(DeflatePrime(c.handle, block.data(), kBlock, kBlock - 1), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflatePrime(c.handle, block.data(), kBlock + 1, 0), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflatePrimeToken(c.handle, kBlock + 1, &token), COMPRESSOR_BAD_PARAMETER);
    // A short block leaves no history: the next block compresses as a folder's first.
    ASSERT_EQ(DeflatePrime(c.handle, block.data(), 1000, 0), COMPRESSOR_OK);
    Compressor fresh;
    EXPECT_EQ(c.Compress(block), fresh.Compress(block));
}

}  // namespace
