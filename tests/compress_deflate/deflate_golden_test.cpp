// Golden vectors: the output is fixed bit for bit, so hashes of it over
// fixed inputs catch any change, e.g. from speed work.
#include <algorithm>

#include "deflate_test_util.h"
#include "test_support.h"

namespace deflatetest {
namespace {

// Words, geometrically distributed bytes, small integers and zero runs:
// code lengths spread so wide that the code-length code needs its 7-bit
// limit repaired.
std::vector<uint8_t> Patchwork(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        uint32_t len = 16 + rng.Below(2000);
        switch (rng.Below(4)) {
            case 0: {
                std::vector<uint8_t> w = WordsOf(len, rng.Next());
                v.insert(v.end(), w.begin(), w.end());
                break;
            }
            case 1:
                for (uint32_t i = 0; i < len; ++i) {
                    uint32_t zeros = static_cast<uint32_t>(__builtin_ctzll(rng.Next() | (1ull << 63)));
                    v.push_back(static_cast<uint8_t>(std::min<uint32_t>(255, zeros * 5 + rng.Below(5))));
                }
                break;
            case 2:
                for (uint32_t i = 0; i < len / 4; ++i) {
                    uint32_t x = rng.Below(1u << rng.Below(20));
                    for (int j = 0; j < 4; ++j) v.push_back(static_cast<uint8_t>(x >> (8 * j)));
                }
                break;
            default:
                v.insert(v.end(), rng.Below(40), 0);
        }
    }
    v.resize(count);
    return v;
}

TEST(DeflateGolden, OutputsArePinned) {
    const std::vector<uint8_t> words = WordsOf(3 * kBlock + 5000, 1);
    const std::vector<uint8_t> patchwork = Patchwork(3 * kBlock, 2);
    struct Golden {
        const char* name;
        std::vector<std::vector<uint8_t>> folder;  // an empty block stands for a reset
        const char* hash;                          // of all outputs, concatenated
    } const goldens[] = {
        {"random", {RandomOf(kBlock, 2)}, "224653873163c222"},
        {"one value", {std::vector<uint8_t>(kBlock, 'z')}, "8dc62f7977d188ee"},
        {"matchless", {TrigramUniqueBytes(kBlock, 8)}, "2c0b0c6231bd3801"},
        {"short pieces", {WordsOf(1, 3), {}, WordsOf(2, 3), {}, WordsOf(3, 3), {}, WordsOf(777, 3)}, "fc29489ee6ea6d6d"},
        {"words folder",
         {Slice(words, 0, kBlock), Slice(words, kBlock, kBlock), Slice(words, 2 * kBlock, kBlock),
          Slice(words, 3 * kBlock, 5000)}, "7028bcef573a563d"},
        {"patchwork folder with reset",
         {Slice(patchwork, 0, kBlock), Slice(patchwork, kBlock, kBlock), {}, Slice(patchwork, 2 * kBlock, kBlock)},
         "6b1228b7b38d4616"},
    };
    for (const Golden& g : goldens) {
        Compressor c;
        std::vector<uint8_t> all;
        for (const std::vector<uint8_t>& block : g.folder) {
            if (block.empty()) {
                DeflateReset(c.handle);
                continue;
            }
            std::vector<uint8_t> out = c.Compress(block);
            all.insert(all.end(), out.begin(), out.end());
        }
        EXPECT_EQ(testsupport::HashHex(all), g.hash) << g.name;
    }
}

}  // namespace
}  // namespace deflatetest
