// Round trips through zlib: every output inflates, after "CK", to its
// input, with the previous block as history where it applies.
#include <iostream>

#include "deflate_test_util.h"

namespace deflatetest {
namespace {

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
            std::vector<uint8_t> in = kind == 0 ? WordsOf(size, size) : kind == 1 ? RandomOf(size, size)
                                                                                 : Mixed(size, rng, {});
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

}  // namespace
}  // namespace deflatetest
