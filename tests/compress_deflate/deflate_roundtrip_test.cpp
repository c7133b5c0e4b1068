// Round trips through an independent decoder: every output inflates, after
// "CK", to its input, with the previous block as history where it applies.
#include "deflate_test_util.h"

namespace deflatetest {
namespace {

using testsupport::RandomBytes;
using testsupport::Rng;
using testsupport::TextBytes;

std::vector<uint8_t> Runs(size_t count, uint64_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> out;
    while (out.size() < count) out.insert(out.end(), 1 + rng.Below(300), static_cast<uint8_t>(rng.Below(4)));
    out.resize(count);
    return out;
}

// Fixed-size records with small counters and repeated field names: the
// kind of binary that gives many short, near matches.
std::vector<uint8_t> Records(size_t count, uint64_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> out;
    for (uint32_t i = 0; out.size() < count; ++i) {
        const uint8_t rec[16] = {'R', 'E', 'C', static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0, 0, 0,
                                 static_cast<uint8_t>(rng.Below(3)), 0xFF, 0xFE, static_cast<uint8_t>(rng.Next()),
                                 0, 0, 1, 0};
        out.insert(out.end(), rec, rec + 16);
    }
    out.resize(count);
    return out;
}

// Pieces of every kind, with copies from earlier in the folder at random
// distances (some beyond the match reach) and lengths around 258.
std::vector<uint8_t> Mixed(size_t count, Rng& rng, const std::vector<uint8_t>& earlier) {
    std::vector<uint8_t> out;
    while (out.size() < count) {
        uint32_t len = 1 + rng.Below(600);
        switch (rng.Below(5)) {
            case 0: out.insert(out.end(), len, static_cast<uint8_t>(rng.Next())); break;
            case 1: { auto r = RandomBytes(len, rng.Next()); out.insert(out.end(), r.begin(), r.end()); break; }
            case 2: { auto t = TextBytes(len, rng.Next()); out.insert(out.end(), t.begin(), t.end()); break; }
            default: {
                size_t have = earlier.size() + out.size();
                if (have == 0) break;
                size_t distance = 1 + rng.Below(static_cast<uint32_t>(std::min<size_t>(have, 40000)));
                for (uint32_t i = 0; i < len; ++i) {
                    size_t back = distance;
                    size_t pos = out.size();
                    out.push_back(back <= pos ? out[pos - back] : earlier[earlier.size() - (back - pos)]);
                }
            }
        }
    }
    out.resize(count);
    return out;
}

struct Kind {
    const char* name;
    std::vector<uint8_t> (*make)(size_t, uint64_t);
};

const Kind kKinds[] = {
    {"text", TextBytes},
    {"random", RandomBytes},
    {"runs", Runs},
    {"records", Records},
};

TEST(DeflateRoundTrip, EveryKindAtBoundarySizes) {
    const uint32_t sizes[] = {1, 2, 3, 4, 5, 257, 258, 259, 260, 4095, 4096, 4097, 12289, 32505, 32506,
                              32507, 32765, 32766, 32767, 32768};
    for (const Kind& kind : kKinds) {
        for (uint32_t size : sizes) {
            SCOPED_TRACE(std::string(kind.name) + " size " + std::to_string(size));
            Compressor c;
            std::vector<uint8_t> in = kind.make(size, size);
            CheckBlock(in, c.Compress(in), {});
        }
    }
}

TEST(DeflateRoundTrip, AllSmallSizesAndASweepOfLargerOnes) {
    Compressor c;  // shorter blocks never leave history behind
    for (uint32_t size = 1; size <= kBlock; size = size < 300 ? size + 1 : size * 9 / 8 + 13) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::vector<uint8_t> in = size % 2 ? TextBytes(size, size) : Records(size, size);
        if (size == kBlock) break;
        CheckBlock(in, c.Compress(in), {});
    }
}

TEST(DeflateRoundTrip, LongFolderOfChainedBlocksWithResets) {
    const uint64_t seed = 0x5EED0001;
    std::cout << "seed " << seed << "\n";
    Rng rng(seed);
    Compressor c;
    std::vector<uint8_t> history;
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        bool resetHere = rng.Below(8) == 0;
        if (resetHere) {
            c.Reset();
            history.clear();
        }
        uint32_t size = rng.Below(6) == 0 ? 1 + rng.Below(kBlock) : kBlock;
        std::vector<uint8_t> in = Mixed(size, rng, history);
        CheckBlock(in, c.Compress(in), history);
        history = size == kBlock ? in : std::vector<uint8_t>{};
    }
}

TEST(DeflateRoundTrip, SeededRandomFolders) {
    const uint64_t seed = 20261205;
    std::cout << "seed " << seed << "\n";
    Rng rng(seed);
    for (int folder = 0; folder < 6; ++folder) {
        Compressor c;
        std::vector<uint8_t> history;
        const Kind& kind = kKinds[rng.Below(4)];
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE("folder " + std::to_string(folder) + " block " + std::to_string(i));
            uint32_t size = i < 3 ? kBlock : 1 + rng.Below(kBlock);
            std::vector<uint8_t> in = rng.Below(2) ? kind.make(size, rng.Next()) : Mixed(size, rng, history);
            CheckBlock(in, c.Compress(in), history);
            history = in;
        }
    }
}

}  // namespace
}  // namespace deflatetest
