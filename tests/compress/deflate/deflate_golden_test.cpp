// Golden vectors: the output is fixed bit for bit, so hashes of it over
// fixed inputs catch any change, e.g. from speed work.
#include <algorithm>

#include "compress/deflate/deflate_handle.h"
#include "deflate_test_util.h"

namespace treepak {

namespace deflatetest {
namespace {

void Append(std::vector<uint8_t>& v, const std::vector<uint8_t>& more) { v.insert(v.end(), more.begin(), more.end()); }

// Words, geometrically distributed bytes, small integers and zero runs:
// code lengths spread so wide that the code-length code needs its 7-bit
// limit repaired.
std::vector<uint8_t> Patchwork(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        uint32_t len = 16 + rng.Below(2000);
        switch (rng.Below(4)) {
            case 0: Append(v, WordsOf(len, rng.Next())); break;
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
            default: v.insert(v.end(), rng.Below(40), 0);
        }
    }
    v.resize(count);
    return v;
}

// Records of counters, small integers and fixed bytes, as in executables and
// tables: three-byte chains hundreds of links long, which turn the
// compressor's four-byte chains on after the first block.
std::vector<uint8_t> Records(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    for (uint32_t i = 0; v.size() < count; ++i) {
        uint32_t x = rng.Below(1u << rng.Below(20));
        const uint8_t rec[12] = {0x8B, static_cast<uint8_t>(0x40 + i % 8), static_cast<uint8_t>(i),
                                 static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8),
                                 static_cast<uint8_t>(x >> 16), 0, 0xE8, static_cast<uint8_t>(rng.Next()), 0xFF, 0xFF};
        v.insert(v.end(), rec, rec + sizeof rec);
    }
    v.resize(count);
    return v;
}

TEST(DeflateGolden, OutputsArePinned) {
    const std::vector<uint8_t> words = WordsOf(3 * kBlock + 5000, 1);
    const std::vector<uint8_t> patchwork = Patchwork(3 * kBlock, 2);
    const std::vector<uint8_t> records = Records(5 * kBlock + 3000, 4);
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
        {"records folder with reset",
         {Slice(records, 0, kBlock), Slice(records, kBlock, kBlock), Slice(records, 2 * kBlock, kBlock), {},
          Slice(records, 3 * kBlock, kBlock), Slice(records, 4 * kBlock, kBlock), Slice(records, 5 * kBlock, 3000)},
         "9a7feece3611c4b3"},
    };
    for (const Golden& g : goldens) {
        Compressor c;
        std::vector<uint8_t> all;
        for (const std::vector<uint8_t>& block : g.folder)
            block.empty() ? void(DeflateReset(c.handle)) : Append(all, c.Compress(block));
        EXPECT_EQ(testsupport::HashHex(all), g.hash) << g.name;
    }
}


// A folder's bytes from seeded pieces that reach the search's corners:
// words, noise, record-like binary, runs, copies from just inside and just
// beyond the farthest distance allowed, long copies with sparse changes
// (matches past 258 bytes) and two-letter text (chains longer than the
// search walks).
std::vector<uint8_t> MixedFolderBytes(size_t count, uint64_t seed) {
    SplitMix rng{seed};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        uint32_t len = 8 + rng.Below(1500);
        switch (rng.Below(8)) {
            case 0: Append(v, WordsOf(len, rng.Next())); break;
            case 1: Append(v, RandomOf(len, rng.Next())); break;
            case 2:
                for (uint32_t i = 0; i < len / 8; ++i) {
                    uint32_t x = rng.Below(1u << rng.Below(20));
                    const uint8_t rec[8] = {0x8B, static_cast<uint8_t>(0x40 + i % 8), static_cast<uint8_t>(x),
                                            static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x >> 16), 0,
                                            0xE8, 0xFF};
                    v.insert(v.end(), rec, rec + sizeof rec);
                }
                break;
            case 3: v.insert(v.end(), rng.Below(600), static_cast<uint8_t>(rng.Next())); break;
            case 4:
                if (v.size() > 32600) {
                    size_t from = v.size() - 32400 - rng.Below(200);  // either side of the distance limit
                    for (uint32_t i = 0; i < len; ++i) v.push_back(v[from + i]);
                }
                break;
            case 5:
                if (v.size() > 4000) {
                    size_t from = rng.Below(static_cast<uint32_t>(v.size() - 3000));
                    uint32_t n = 300 + rng.Below(2700);
                    for (uint32_t i = 0; i < n; ++i)
                        v.push_back(rng.Below(300) == 0 ? static_cast<uint8_t>(rng.Next()) : v[from + i]);
                }
                break;
            case 6: for (uint32_t i = 0; i < len / 3; ++i) v.push_back(rng.Below(2) ? 'a' : 'b'); break;
            default: Append(v, WordsOf(len, seed));  // the same words again and again
        }
    }
    v.resize(count);
    return v;
}

// Outputs recorded from the compressor as it stood before its speed work;
// each folder's are hashed together. Folders chain full blocks as history,
// end on a short block and sometimes start over with a reset.
TEST(DeflateGolden, SeededMixedFoldersArePinned) {
    static const char* const kExpected[] = {
        "668aeda307a72e0a", "36b3120a60e4a8ac", "4513b2c4db65f785", "6e95867e627f95fe", "3fd93799b574e852",
        "5ee50045a992a70e", "10a44bbd191c29a6", "58cee82a309e8653", "31bfa6b9e643081a", "8bdb4a728b2cb171",
        "b7af86c7afe3a287", "ed45409ddfe22303", "4d76ecd485ed0ce7", "6fdabc3d103cdc9a", "9f1fb29ad082cb50",
        "d2b06a454745fd1e", "6ff8cd9a29ef852e", "43399bb25a981d1c", "de5678bfee4f46f4", "bb4997e8d92df38b",
        "e7d21eea6236dc91", "99ec9f940b348453", "d447076e6ac1fcdc", "2c9ce73485413d7c",
    };
    for (uint64_t seed = 0; seed < std::size(kExpected); ++seed) {
        SplitMix rng{100 + seed};
        const uint32_t fullBlocks = 1 + rng.Below(4);
        const uint32_t tail = rng.Below(kBlock);
        const std::vector<uint8_t> bytes = MixedFolderBytes(size_t{fullBlocks} * kBlock + tail, seed);
        Compressor c;
        std::vector<uint8_t> all;
        for (size_t off = 0; off < bytes.size(); off += kBlock) {
            if (rng.Below(5) == 0) DeflateReset(c.handle);
            Append(all, c.Compress(Slice(bytes, off, std::min<size_t>(kBlock, bytes.size() - off))));
        }
        EXPECT_EQ(testsupport::HashHex(all), kExpected[seed]) << "folder " << seed;
    }
}


// Noise with strings copied from exactly the farthest distance allowed,
// each right after a three-byte match 100 bytes back: the search for the
// copy starts with a match in hand and its first candidate at the limit.
std::vector<uint8_t> FarthestCopiesAfterShortMatches(uint64_t seed) {
    std::vector<uint8_t> v = RandomOf(3 * kBlock, seed);
    constexpr uint32_t kFarthest = 32506;
    for (size_t p = kBlock + 500; p + 40 < v.size(); p += 997) {
        for (size_t i = 0; i < 20; ++i) v[p + i] = v[p - kFarthest + i];
        for (size_t i = 0; i < 3; ++i) v[p - 101 + i] = v[p - 1 + i];
    }
    return v;
}

// The four-byte chains are an aid to the search that must not change one
// bit: with them forced on for every call and forced off, every block of
// the seeded folders and of record-like data comes out the same. (Left to
// itself the compressor turns them on only where chains run long.)
TEST(DeflateGolden, FourByteChainsChangeNothing) {
    auto force = [](Compressor& c, bool on) {
        blockdeflate::SearchEffort& effort = static_cast<blockdeflate::DeflateHandle*>(c.handle)->state->effort;
        effort.useLonger = on;
        effort.offCallsLeft = on ? 0 : UINT32_MAX;
    };
    std::vector<std::vector<uint8_t>> folders;
    for (uint64_t seed = 0; seed < 12; ++seed) folders.push_back(MixedFolderBytes(3 * kBlock + 1000 * seed, seed));
    folders.push_back(Records(4 * kBlock, 5));
    folders.push_back(FarthestCopiesAfterShortMatches(6));
    for (size_t f = 0; f < folders.size(); ++f) {
        const std::vector<uint8_t>& bytes = folders[f];
        Compressor on;
        Compressor off;
        for (size_t off0 = 0; off0 < bytes.size(); off0 += kBlock) {
            const std::vector<uint8_t> block = Slice(bytes, off0, std::min<size_t>(kBlock, bytes.size() - off0));
            force(on, true);
            force(off, false);
            ASSERT_EQ(on.Compress(block), off.Compress(block)) << "folder " << f << " block at " << off0;
        }
    }
}

}  // namespace
}  // namespace deflatetest

}  // namespace treepak
