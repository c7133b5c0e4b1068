// Golden vectors: the compressor's output is fixed bit for bit, so hashes of
// its output over fixed inputs catch any change, e.g. from speed work. The
// inputs come from this file's own generators.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "deflate_test_util.h"

namespace deflatetest {
namespace {

std::vector<uint8_t> RandomOf(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v(count);
    for (auto& b : v) b = static_cast<uint8_t>(rng.Next() >> 56);
    return v;
}

std::vector<uint8_t> WordsOf(size_t count, uint64_t seed) {
    static const char* const kWords[] = {"the", "cabinet", "folder", "block", "of", "and", "data", "to",
                                         "compress", "a", "file", "tree", "history", "match", "window",
                                         "length", "distance", "code", "literal", "stream"};
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        const char* w = kWords[rng.Below(std::size(kWords))];
        v.insert(v.end(), w, w + std::strlen(w));
        uint32_t sep = rng.Below(16);
        v.push_back(sep == 0 ? '\n' : sep == 1 ? ',' : ' ');
    }
    v.resize(count);
    return v;
}

std::vector<uint8_t> Sawtooth(size_t count) {
    std::vector<uint8_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<uint8_t>((i * i) >> 5);
    return v;
}

// Pieces of text, geometrically distributed bytes, small integers and zero
// runs: code lengths spread so wide that the code-length code needs its
// 7-bit limit repaired.
std::vector<uint8_t> Patchwork(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        uint32_t len = 16 + rng.Below(2000);
        switch (rng.Below(4)) {
            case 0: {
                auto w = WordsOf(len, rng.Next());
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

struct Golden {
    const char* name;
    std::vector<std::vector<uint8_t>> blocks;  // one folder; an empty block means a reset
    const char* hash;                          // of all outputs, concatenated
};

std::vector<uint8_t> FolderOutput(const std::vector<std::vector<uint8_t>>& blocks) {
    Compressor c;
    std::vector<uint8_t> all;
    for (const auto& block : blocks) {
        if (block.empty()) {
            c.Reset();
            continue;
        }
        std::vector<uint8_t> out = c.Compress(block);
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

TEST(DeflateGolden, OutputsArePinned) {
    const std::vector<uint8_t> words = WordsOf(4 * kBlock, 1);
    const std::vector<uint8_t> patchwork = Patchwork(3 * kBlock, 1);
    const Golden goldens[] = {
        {"words", {WordsOf(kBlock, 1)}, "34bb3aab99f32cab"},
        {"random", {RandomOf(kBlock, 2)}, "224653873163c222"},
        {"one value", {std::vector<uint8_t>(kBlock, 'z')}, "8dc62f7977d188ee"},
        {"sawtooth", {Sawtooth(kBlock)}, "05ddcd92742196ce"},
        {"matchless", {TrigramUniqueBytes(kBlock, 8)}, "2c0b0c6231bd3801"},
        {"short pieces", {WordsOf(1, 3), {}, WordsOf(2, 3), {}, WordsOf(3, 3), {}, WordsOf(777, 3)}, "81394e5ca96a180e"},
        {"words folder with history",
         {Slice(words, 0, kBlock), Slice(words, kBlock, kBlock), Slice(words, 2 * kBlock, kBlock),
          Slice(words, 3 * kBlock, 5000)},
         "e4f15a1a11f3998f"},
        {"patchwork folder", {Slice(patchwork, 0, kBlock), Slice(patchwork, kBlock, kBlock),
                              Slice(patchwork, 2 * kBlock, kBlock)}, "a0a9e2c66bfe4e88"},
        {"mixed folder with reset",
         {Concat(RandomOf(10000, 4), WordsOf(kBlock - 10000, 5)), Sawtooth(kBlock), {},
          Concat(Sawtooth(20000), RandomOf(kBlock - 20000, 6)), Patchwork(kBlock, 13)},
         "6bf89f45969ef5e8"},
    };
    for (const Golden& g : goldens) {
        EXPECT_EQ(testsupport::HashHex(FolderOutput(g.blocks)), g.hash) << g.name;
    }
}

}  // namespace
}  // namespace deflatetest
