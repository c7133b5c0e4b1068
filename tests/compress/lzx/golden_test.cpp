// Golden vectors: the encoder's output is fixed bit for bit, so hashes of
// the frames (sizes and bytes) over fixed inputs pin it. A change here is a
// change of the compressed format's bits, never a refactoring detail. Every
// folder also decodes back to its input through the LZX decoder, and every
// frame but a folder's last covers 32768 bytes.
#include <gtest/gtest.h>

#include <functional>

#include "lzx_harness.h"
#include "test_support.h"

namespace treepak {

using namespace lzxtest;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

using Folders = std::vector<std::vector<uint8_t>>;

struct GoldenCase {
    const char* name;
    uint32_t windowBits;
    std::function<Folders()> folders;
    const char* hash;  // of all folders' frames, in order
};

std::vector<uint8_t> LongChangingFolder() {
    std::vector<std::vector<uint8_t>> parts;
    for (uint64_t k = 0; k < 12; ++k)
        parts.push_back(k % 3 == 0 ? RandomBytes(30000, k) : k % 3 == 1 ? TextBytes(60000, k) : X86LikeBytes(50000, k));
    return Concat(parts);
}

std::vector<uint8_t> Mixed() {
    return Concat({TextBytes(90000, 41), X86LikeBytes(60000, 42), RandomBytes(9000, 43), RunBytes(50000)});
}

// An archive of near copies: records padded with zeros to 512 bytes, each
// a few edits away from one of three texts, so most positions lie inside
// long matches and the zero padding puts runs into one tree.
std::vector<uint8_t> NearCopies() {
    const std::vector<uint8_t> texts[] = {TextBytes(7000, 61), TextBytes(2500, 62), TextBytes(12000, 63)};
    testsupport::Rng rng(64);
    std::vector<uint8_t> out;
    while (out.size() < 600000) {
        std::vector<uint8_t> record = texts[rng.Below(3)];
        for (uint32_t k = rng.Below(4); k-- > 0;) record[rng.Below(static_cast<uint32_t>(record.size()))] ^= 0x20;
        record.resize(record.size() + rng.Below(40));
        out.insert(out.end(), record.begin(), record.end());
        out.resize((out.size() + 511) / 512 * 512 + 512, 0);
    }
    return out;
}

const GoldenCase kCases[] = {
    {"prose", 16, [] { return Folders{ProseBytes(100000, 5)}; }, "cdc53b12b78d6c9d"},
    {"text", 16, [] { return Folders{TextBytes(100000, 1)}; }, "5fc0cd810928b238"},
    {"x86", 17, [] { return Folders{X86LikeBytes(120000, 2)}; }, "33008f4f8a4d76ce"},
    {"random", 15, [] { return Folders{RandomBytes(70000, 3)}; }, "c1e14fcff4be61d6"},
    {"runs", 15, [] { return Folders{RunBytes(150000)}; }, "9dbe2331f1319606"},
    {"sizes", 15,
     [] {
         std::vector<std::vector<uint8_t>> f;
         for (size_t n : {32767u, 32768u, 32769u, 65535u, 65536u, 65537u}) f.push_back(TextBytes(n, n));
         return f;
     },
     "06107f9f5e2cd233"},
    {"redo-and-splits", 16, [] { return Folders{LongChangingFolder()}; }, "d18817842e5cab6e"},
    {"split-match-buffer", 21, [] { return Folders{Concat({RandomBytes(6000, 99), ProseBytes(300000, 98)})}; }, "7da3d7553a647217"},
    {"odd-raw-pad", 15, [] { return Folders{RandomBytes(3 * 32768, 2)}; }, "ee80ba39fb8c6489"},
    {"window15", 15, [] { return Folders{Mixed()}; }, "0aded713549a869d"},
    {"window16", 16, [] { return Folders{Mixed()}; }, "9111a2f22c9e81a2"},
    {"window17", 17, [] { return Folders{Mixed()}; }, "0df1679ff5d19305"},
    {"window18", 18, [] { return Folders{Mixed()}; }, "e574b5dc1fb3769c"},
    {"window19", 19, [] { return Folders{Mixed()}; }, "14c27d50835bdaaf"},
    {"window20", 20, [] { return Folders{Mixed()}; }, "1ee23e8f50778d11"},
    {"window21", 21, [] { return Folders{Mixed()}; }, "fac7a1ace022c0df"},
    {"near-copies", 21, [] { return Folders{NearCopies()}; }, "ccef052f5e94e35b"},
    // The second folder's output depends on state the reset keeps.
    {"two-folders", 15, [] { return Folders{TextBytes(50000, 7), X86LikeBytes(40000, 8)}; }, "2f6f0e1334a594c2"},
};

}  // namespace

TEST(LzxGolden, OutputIsPinnedAndDecodes) {
    for (const GoldenCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto folders = c.folders();
        const std::vector<Frames> encoded = EncodeFolders(folders, c.windowBits);
        ASSERT_EQ(encoded.size(), folders.size());
        std::string all;
        for (size_t f = 0; f < folders.size(); ++f) {
            all += HashFrames(encoded[f]);
            for (size_t i = 0; i + 1 < encoded[f].size(); ++i) ASSERT_EQ(encoded[f][i].uncompressedSize, 32768u) << i;
            const DecodeResult decoded = DecodeFrames(encoded[f], 1u << c.windowBits);
            EXPECT_EQ(decoded.status, 0) << "folder " << f << " frame " << decoded.failedFrame;
            EXPECT_TRUE(decoded.output == folders[f]) << "folder " << f;
        }
        const std::string hash = testsupport::HashHex(std::vector<uint8_t>(all.begin(), all.end()));
        EXPECT_EQ(hash, c.hash);
    }
}

// Folders too small for a golden case of their own, and one past three
// frames, through one encoder.
TEST(LzxRoundTrip, TinyFoldersAndZeros) {
    const Folders folders = {{}, {'a'}, {'a', 'b'}, TextBytes(7, 1), TextBytes(98304 + 13, 2),
                             std::vector<uint8_t>(150000, 0), RandomBytes(5, 3)};
    const std::vector<Frames> encoded = EncodeFolders(folders, 15);
    ASSERT_EQ(encoded.size(), folders.size());
    for (size_t f = 0; f < folders.size(); ++f) EXPECT_TRUE(DecodeFrames(encoded[f], 1u << 15).output == folders[f]) << f;
}

}  // namespace treepak
