// Parts that ordinary inputs rarely reach: the repair of over-long Huffman
// codes, and the bit writer at its capacity.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "compress/deflate/bit_writer.h"
#include "compress/deflate/huffman_builder.h"

namespace blockdeflate {
namespace {

// Builds a code; checks the length limit, that the code is complete (Kraft
// sum 1) and that the cost added matches the final lengths (dummy symbols
// cost nothing).
void ExpectLimitedCompleteCode(const std::vector<uint32_t>& freqs, uint32_t elems, uint32_t limit) {
    auto s = std::make_unique<DeflateState>();
    HuffmanTree& tree = s->litLenTree;
    for (size_t n = 0; n < freqs.size(); ++n) tree.freq[n] = freqs[n];
    static const uint8_t kNoExtra[kLitLenCodes] = {};
    BuildHuffmanTree(*s, tree, {elems, limit, kNoExtra, 0, nullptr});
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
    ExpectLimitedCompleteCode(fib, kLitLenCodes, 15);
    ExpectLimitedCompleteCode(std::vector<uint32_t>(fib.begin(), fib.begin() + 19), kCodeLenCodes, 7);
    // Fewer than two used symbols get a partner.
    for (const auto& few : {std::vector<uint32_t>{}, {9}, {0, 4}, {0, 0, 0, 5}}) {
        ExpectLimitedCompleteCode(few, kCodeLenCodes, 7);
    }
}

TEST(DeflateBitWriter, BytesBeyondCapacityAreDroppedAndFlagged) {
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
}  // namespace blockdeflate
