// Parts of the compressor that ordinary inputs rarely reach: the repair of
// over-long Huffman codes and the bit writer at its capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/deflate/bit_writer.h"
#include "compress/deflate/huffman_builder.h"

namespace blockdeflate {
namespace {

struct BuiltCode {
    uint32_t maxLen = 0;
    double kraft = 0;
    int64_t cost = 0;
    int64_t expectedCost = 0;
};

BuiltCode Build(const std::vector<uint32_t>& freqs, uint32_t elems, uint32_t limit) {
    auto s = std::make_unique<DeflateState>();
    HuffmanTree& tree = s->codeLenTree;
    for (size_t n = 0; n < freqs.size(); ++n) tree.freq[n] = freqs[n];
    static const uint8_t kNoExtra[kLitLenCodes] = {};
    AlphabetInfo alphabet = {elems, limit, kNoExtra, 0, nullptr};
    BuildHuffmanTree(*s, tree, alphabet);
    BuiltCode r;
    r.cost = s->dynamicCost;
    for (int n = 0; n <= tree.maxCode; ++n) {
        if (tree.len[n] == 0) continue;
        r.maxLen = std::max<uint32_t>(r.maxLen, tree.len[n]);
        r.kraft += 1.0 / static_cast<double>(1u << tree.len[n]);
        r.expectedCost += static_cast<int64_t>(n < static_cast<int>(freqs.size()) ? freqs[n] : 0) * tree.len[n];
    }
    return r;
}

std::vector<uint32_t> Fibonacci(size_t count) {
    std::vector<uint32_t> f = {1, 1};
    while (f.size() < count) f.push_back(f[f.size() - 1] + f[f.size() - 2]);
    f.resize(count);
    return f;
}

TEST(DeflateHuffman, SkewedCountsAreLimitedToACompleteCode) {
    // Fibonacci counts give a tree as deep as there are symbols.
    struct Case { size_t symbols; uint32_t elems; uint32_t limit; };
    for (Case c : {Case{22, kLitLenCodes, 15}, Case{19, kCodeLenCodes, 7}, Case{12, kCodeLenCodes, 7}}) {
        SCOPED_TRACE(c.symbols);
        BuiltCode r = Build(Fibonacci(c.symbols), c.elems, c.limit);
        EXPECT_EQ(r.maxLen, c.limit);
        EXPECT_DOUBLE_EQ(r.kraft, 1.0);
        EXPECT_EQ(r.cost, r.expectedCost) << "cost follows the repaired lengths";
    }
}

TEST(DeflateHuffman, FewSymbolsGetAPartnerWhoseCostIsTakenBack) {
    for (const auto& freqs : {std::vector<uint32_t>{0, 0, 0, 5}, std::vector<uint32_t>{9},
                              std::vector<uint32_t>{0, 4}, std::vector<uint32_t>{}}) {
        BuiltCode r = Build(freqs, kCodeLenCodes, 7);
        EXPECT_EQ(r.maxLen, 1u);
        EXPECT_DOUBLE_EQ(r.kraft, 1.0);
        EXPECT_EQ(r.cost, r.expectedCost);
    }
}

TEST(DeflateBitWriter, BytesBeyondCapacityAreDroppedAndFlagged) {
    uint8_t out[8] = {};
    BitWriter w{};
    StartBitWriter(w, out, 5);
    SendBits(w, 0x1234, 16);
    SendBits(w, 0x5678, 16);
    EXPECT_FALSE(w.overflow);
    SendBits(w, 0x9ABC, 16);
    AlignToByte(w);
    EXPECT_TRUE(w.overflow);
    EXPECT_EQ(w.count, 5u);
    const uint8_t expected[5] = {0x34, 0x12, 0x78, 0x56, 0xBC};
    EXPECT_EQ(0, std::memcmp(out, expected, 5));
    EXPECT_EQ(out[5], 0);

    StartBitWriter(w, out, 2);
    SendBits(w, 0x5, 3);
    SendBits(w, 0x1F, 5);
    SendBits(w, 0x1, 1);
    AlignToByte(w);
    EXPECT_FALSE(w.overflow);
    EXPECT_EQ(w.count, 2u);
    EXPECT_EQ(out[0], 0xFD);
    EXPECT_EQ(out[1], 0x01);
}

}  // namespace
}  // namespace blockdeflate
