// Code lengths at the edges real data rarely reaches: the 16-bit limit
// (still a complete, prefix-free code) and a lone symbol.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "compress/lzx/lzx_encoder.h"

namespace {

lzxenc::HuffmanScratch gScratch;

struct Built {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;
};

Built Build(std::vector<uint16_t> counts) {
    const uint32_t n = static_cast<uint32_t>(counts.size());
    counts.resize(2 * n);
    Built b{std::vector<uint8_t>(n + 1, 0xAA), std::vector<uint16_t>(n)};
    lzxenc::BuildCodeLengths(&gScratch, n, counts.data(), b.lengths.data(), b.codes.data(), true);
    EXPECT_EQ(b.lengths[n], 0xAA);  // nothing written past the table
    b.lengths.resize(n);
    return b;
}

uint64_t KraftSum(const std::vector<uint8_t>& lengths) {
    uint64_t sum = 0;
    for (uint8_t l : lengths)
        if (l) sum += uint64_t{1} << (16 - l);
    return sum;
}

void ExpectPrefixFree(const Built& b) {
    std::vector<std::pair<uint32_t, uint32_t>> intervals;  // in units of 2^-16
    for (size_t x = 0; x < b.lengths.size(); ++x)
        if (b.lengths[x]) {
            const uint32_t lo = uint32_t{b.codes[x]} << (16 - b.lengths[x]);
            intervals.push_back({lo, lo + (1u << (16 - b.lengths[x]))});
        }
    std::sort(intervals.begin(), intervals.end());
    for (size_t i = 1; i < intervals.size(); ++i) EXPECT_LE(intervals[i - 1].second, intervals[i].first);
}

}  // namespace

TEST(LzxHuffman, LengthsStopAtSixteenBits) {
    // Fibonacci counts would give a 24-deep tree.
    std::vector<uint16_t> counts(25);
    counts[0] = counts[1] = 1;
    for (size_t i = 2; i < counts.size(); ++i) counts[i] = static_cast<uint16_t>(counts[i - 1] + counts[i - 2]);
    const Built b = Build(counts);
    EXPECT_EQ(*std::max_element(b.lengths.begin(), b.lengths.end()), 16);
    EXPECT_EQ(KraftSum(b.lengths), 65536u);
    ExpectPrefixFree(b);
}

TEST(LzxHuffman, LoneSymbolGetsAPartner) {
    std::vector<uint16_t> counts(8, 0);
    counts[5] = 9;
    Built b = Build(counts);
    EXPECT_EQ(b.lengths, (std::vector<uint8_t>{1, 0, 0, 0, 0, 1, 0, 0}));
    counts.assign(8, 0);
    counts[0] = 4;
    b = Build(counts);
    EXPECT_EQ(b.lengths, (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(b.codes[0], 0);
    EXPECT_EQ(b.codes[1], 1);
    b = Build(std::vector<uint16_t>(20, 0));
    EXPECT_EQ(b.lengths, std::vector<uint8_t>(20, 0));
}
