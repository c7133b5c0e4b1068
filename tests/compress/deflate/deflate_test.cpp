#include <cstring>
#include <iostream>
#include <memory>

#include "compress/deflate/bit_writer.h"
#include "compress/deflate/huffman_builder.h"
#include "deflate_test_util.h"

namespace treepak {

namespace deflatetest {
namespace {

// Sizes, refused parameters (the output is not touched) and allocation
// failures (handle, state and five buffers: each releases what was taken).
TEST(DeflateInterface, SizesRefusalsAndAllocationFailures) {
    for (uint32_t requested : {0u, 40000u, 1000u}) {
        uint32_t blockSize = requested, maxOut = 0;
        void* h = nullptr;
        ASSERT_EQ(DeflateCreate(&blockSize, testsupport::CountingAlloc, testsupport::CountingFree, &maxOut, &h),
                  COMPRESSOR_OK);
        const uint32_t expected = requested == 1000 ? 1000 : kBlock;
        EXPECT_EQ(blockSize, expected);
        EXPECT_EQ(maxOut, expected + 12);
        std::vector<uint8_t> in(expected + 1, 'x'), out(kMaxOutput + 1, 0xEE);
        uint32_t size = 77;
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected + 1, out.data(), kMaxOutput, &size), COMPRESSOR_BAD_PARAMETER);
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected, out.data(), expected + 11, &size), COMPRESSOR_BAD_PARAMETER);
        EXPECT_EQ(size, 77u);
        EXPECT_EQ(out[0], 0xEE);
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected, out.data(), expected + 12, &size), COMPRESSOR_OK);
        EXPECT_EQ(DeflateDestroy(h), COMPRESSOR_OK);
    }
    testsupport::FailEachAllocation(7, [](int) {
        uint32_t blockSize = 0, maxOut = 0;
        void* h = &blockSize;
        EXPECT_EQ(DeflateCreate(&blockSize, testsupport::CountingAlloc, testsupport::CountingFree, &maxOut, &h),
                  COMPRESSOR_NO_MEMORY);
        EXPECT_EQ(h, nullptr);
    });
}

// Blocks of one folder: text, random, mixed, and text whose last bytes
// repeat earlier ones, so that the final match runs into the block's end
// (where the matcher stops inserting early) at varying distances from it.
std::vector<std::vector<uint8_t>> FolderBlocks(uint64_t seed) {
    SplitMix rng{seed};
    std::vector<std::vector<uint8_t>> blocks;
    for (int k = 0, count = 3 + static_cast<int>(rng.Below(5)); k < count; ++k) {
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

// Priming must leave exactly the match state compressing the block would
// have left: prime(k) then compress(k + 1) gives the chained bytes.
TEST(DeflatePrime, PrimedHandleCompressesTheNextBlockAsTheChainedOne) {
    Compressor primed;  // one handle for every seed: nothing earlier may show through
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
        for (size_t k = 0; k + 1 < blocks.size(); ++k) {
            ASSERT_EQ(DeflatePrime(primed.handle, blocks[k].data(), static_cast<uint32_t>(blocks[k].size()), tokens[k]),
                      COMPRESSOR_OK);
            ASSERT_EQ(primed.Compress(blocks[k + 1]), outputs[k + 1]) << "block " << k + 1;
        }
    }
    EXPECT_GT(earlyStops, 10);
    EXPECT_GT(fullInsertions, 10);

    Compressor c, fresh;
    std::vector<uint8_t> block = WordsOf(kBlock, 7);
    uint32_t token = 0;
    EXPECT_EQ(DeflatePrime(c.handle, block.data(), kBlock, kBlock - 1), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflatePrime(c.handle, block.data(), kBlock + 1, 0), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflatePrimeToken(c.handle, kBlock + 1, &token), COMPRESSOR_BAD_PARAMETER);
    // A short block leaves no history: the next block compresses as a folder's first.
    ASSERT_EQ(DeflatePrime(c.handle, block.data(), 1000, 0), COMPRESSOR_OK);
    EXPECT_EQ(c.Compress(block), fresh.Compress(block));
}

// Pieces of runs, random bytes, words and copies from earlier in the folder
// at any distance (some beyond the reach of a match), lengths around 258.
std::vector<uint8_t> Mixed(size_t count, SplitMix& rng, const std::vector<uint8_t>& earlier) {
    std::vector<uint8_t> out;
    while (out.size() < count) {
        uint32_t len = 1 + rng.Below(600);
        std::vector<uint8_t> piece;
        switch (rng.Below(5)) {
            case 0: piece.assign(len, static_cast<uint8_t>(rng.Below(3))); break;
            case 1: piece = RandomOf(len, rng.Next()); break;
            case 2: piece = WordsOf(len, rng.Next()); break;
            default:
                for (size_t have = earlier.size() + out.size(), d = 1 + rng.Below(40000); have && len--;) {
                    size_t pos = out.size(), back = 1 + d % have;
                    out.push_back(back <= pos ? out[pos - back] : earlier[earlier.size() - (back - pos)]);
                }
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(count);
    return out;
}

// Sizes at every boundary of the match rules and the block, then a seeded
// folder of chained blocks with resets between some of them.
TEST(DeflateRoundTrip, BoundarySizesThenSeededFoldersWithResets) {
    const uint64_t seed = 20261205;
    std::cout << "seed " << seed << "\n";
    SplitMix rng{seed};
    Compressor c;  // blocks below 32768 bytes never leave history behind
    for (uint32_t size : {1u, 2u, 3u, 4u, 257u, 258u, 259u, 4095u, 4096u, 4097u, 32505u, 32506u, 32507u, 32767u}) {
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE("size " + std::to_string(size) + " kind " + std::to_string(kind));
            std::vector<uint8_t> in = kind == 0 ? WordsOf(size, size) : kind == 1 ? RandomOf(size, size) : Mixed(size, rng, {});
            CheckBlock(in, c.Compress(in), {});
        }
    }
    std::vector<uint8_t> history;
    for (int i = 0; i < 48; ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        if (rng.Below(8) == 0) {
            DeflateReset(c.handle);
            history.clear();
        }
        uint32_t size = rng.Below(6) == 0 ? 1 + rng.Below(kBlock) : kBlock;
        std::vector<uint8_t> in = Mixed(size, rng, history);
        CheckBlock(in, c.Compress(in), history);
        history = size == kBlock ? in : std::vector<uint8_t>{};
    }
}

// A code built from the counts keeps the length limit, is complete (Kraft
// sum 1) and its cost matches the final lengths (dummy symbols cost nothing).
void ExpectLimitedCompleteCode(const std::vector<uint32_t>& freqs, uint32_t elems, uint32_t limit) {
    auto s = std::make_unique<blockdeflate::DeflateState>();
    blockdeflate::HuffmanTree& tree = s->litLenTree;
    for (size_t n = 0; n < freqs.size(); ++n) tree.freq[n] = freqs[n];
    static const uint8_t kNoExtra[blockdeflate::kLitLenCodes] = {};
    blockdeflate::BuildHuffmanTree(*s, tree, {elems, limit, kNoExtra, 0, nullptr});
    double kraft = 0;
    int64_t cost = 0;
    for (int n = 0; n <= tree.maxCode; ++n) {
        EXPECT_LE(tree.len[n], limit);
        if (tree.len[n]) kraft += 1.0 / (1u << tree.len[n]);
        if (static_cast<size_t>(n) < freqs.size()) cost += int64_t{freqs[n]} * tree.len[n];
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    EXPECT_EQ(s->dynamicCost, cost);
}

TEST(DeflateHuffman, CodesAreLimitedAndComplete) {
    // Fibonacci counts make a tree as deep as there are symbols.
    std::vector<uint32_t> fib = {1, 1};
    while (fib.size() < 22) fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
    ExpectLimitedCompleteCode(fib, blockdeflate::kLitLenCodes, 15);
    ExpectLimitedCompleteCode(std::vector<uint32_t>(fib.begin(), fib.begin() + 19), blockdeflate::kCodeLenCodes, 7);
    // Fewer than two used symbols get a partner.
    for (const auto& few : {std::vector<uint32_t>{}, {9}, {0, 4}, {0, 0, 0, 5}})
        ExpectLimitedCompleteCode(few, blockdeflate::kCodeLenCodes, 7);
}

TEST(DeflateBitWriter, BytesBeyondCapacityAreDroppedAndFlagged) {
    using namespace blockdeflate;
    uint8_t out[8] = {};
    BitWriter w{};
    StartBitWriter(w, out, 5);
    SendBits(w, 0x1234, 16);
    SendBits(w, 0x5678, 16);
    SendBits(w, 0x5, 3);
    SendBits(w, 0x1F, 5);
    EXPECT_FALSE(w.overflow);
    SendBits(w, 0x1, 1);
    AlignToByte(w);
    EXPECT_TRUE(w.overflow);
    const uint8_t expected[6] = {0x34, 0x12, 0x78, 0x56, 0xFD, 0};
    EXPECT_EQ(w.count, 5u);
    EXPECT_EQ(0, std::memcmp(out, expected, 6));
}

}  // namespace
}  // namespace deflatetest

}  // namespace treepak
