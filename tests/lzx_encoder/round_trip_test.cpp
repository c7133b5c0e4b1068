// Round trips through the LZX decoder over every window size and the kinds
// of data a cabinet sees, several folders through one encoder.
#include <gtest/gtest.h>

#include "lzx_harness.h"
#include "test_support.h"

using namespace lzxtest;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

void ExpectRoundTrip(const std::vector<uint8_t>& data, uint32_t windowBits) {
    const Frames frames = EncodeFolder(data, windowBits);
    ASSERT_FALSE(frames.empty() && !data.empty());
    for (size_t i = 0; i + 1 < frames.size(); ++i) ASSERT_EQ(frames[i].uncompressedSize, 32768u) << i;
    const std::vector<uint8_t> back = DecodeFrames(frames, windowBits);
    ASSERT_EQ(back.size(), data.size()) << "window 2^" << windowBits;
    EXPECT_TRUE(back == data) << "window 2^" << windowBits;
}

}  // namespace

TEST(LzxRoundTrip, EveryWindowSizeOnMixedData) {
    const auto data = Concat({TextBytes(70000, 1), X86LikeBytes(50000, 2), RandomBytes(20000, 3),
                              RunBytes(40000), TextBytes(30000, 1)});
    for (uint32_t bits = 15u; bits <= 21; ++bits) ExpectRoundTrip(data, bits);
}

TEST(LzxRoundTrip, SizesAroundFramesAndSlides) {
    for (size_t size : {0u, 1u, 2u, 7u, 32767u, 32768u, 32769u, 65535u, 65536u, 65537u, 98304u + 13u})
        ExpectRoundTrip(TextBytes(size, 7 + size), 15);
}

TEST(LzxRoundTrip, KindsOfData) {
    ExpectRoundTrip(RandomBytes(200000, 11), 16);
    ExpectRoundTrip(RunBytes(300000), 17);
    ExpectRoundTrip(X86LikeBytes(400000, 12), 18);
    ExpectRoundTrip(std::vector<uint8_t>(150000, 0), 15);
}

// Long enough for window slides, the first-block redo and content splits.
TEST(LzxRoundTrip, LongFolderWithChangingContent) {
    std::vector<std::vector<uint8_t>> parts;
    for (uint64_t k = 0; k < 12; ++k)
        parts.push_back(k % 3 == 0 ? RandomBytes(30000, k) : k % 3 == 1 ? TextBytes(60000, k) : X86LikeBytes(50000, k));
    ExpectRoundTrip(Concat(parts), 15);
    ExpectRoundTrip(Concat(parts), 20);
}

// Matches buffered after a split plus a span's matches pass 32768 here.
TEST(LzxRoundTrip, MatchBufferAfterSplit) {
    ExpectRoundTrip(Concat({RandomBytes(6000, 99), ProseBytes(300000, 98)}), 21);
}

TEST(LzxRoundTrip, FoldersThroughOneEncoderDecodeIndependently) {
    const std::vector<std::vector<uint8_t>> folders = {TextBytes(100000, 21), X86LikeBytes(40000, 22),
                                                       RandomBytes(5, 23), TextBytes(70000, 24)};
    const auto encoded = EncodeFolders(folders, 16);
    ASSERT_EQ(encoded.size(), folders.size());
    for (size_t i = 0; i < folders.size(); ++i) EXPECT_TRUE(DecodeFrames(encoded[i], 16) == folders[i]) << i;
}
