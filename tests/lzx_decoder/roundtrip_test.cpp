// Streams from the test-only encoder decode back to their input: every
// block type and layout, translation on and off, more than 32768 frames, and
// matches in every position slot up to W - 3. (Every window size on the
// tool's own compressor output is in tests/lzx_encoder.)
#include <gtest/gtest.h>

#include "cabinet/lzx_format.h"
#include "test_lzx_encoder.h"
#include "test_support.h"

namespace lzxtest {
namespace {

void ExpectRoundTrip(const std::vector<uint8_t>& data, const EncodeOptions& options, size_t frames = 0) {
    const Frames encoded = EncodeLzx(data, options);
    if (frames) {
        ASSERT_EQ(encoded.size(), frames);
    }
    const DecodeResult result = DecodeFrames(encoded, options.windowSize);
    ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame << " of " << encoded.size();
    EXPECT_TRUE(result.output == data);
}

// Uncompressed blocks of odd and even size ending inside and exactly at
// frame ends (the odd one's pad byte then opens the next frame), empty
// blocks of every type, aligned blocks, and a last odd block ending on a
// frame end, which leaves a frame of 0 uncompressed bytes.
TEST(LzxRoundTrip, BlockLayoutsAroundFrameEnds) {
    std::vector<uint8_t> data = Concat({testsupport::TextBytes(70000, 5), X86LikeBytes(60000, 6)});
    EncodeOptions o;
    o.e8Size = LZX_E8_TRANSLATION_SIZE;
    o.blocks = {{1, 32763}, {3, 5},      {1, 0},     {2, 20000}, {3, 0},     {3, 12768},
                {3, 3},     {2, 0},      {1, 30000}, {3, 2765},  {2, 30000}, {3, 1696}};
    ExpectRoundTrip(data, o, 4);

    // Up to the fourth frame's end, the last block odd: its pad byte alone
    // makes a fifth frame.
    for (size_t i = 0; i < 1072; ++i) data.push_back(static_cast<uint8_t>(i * 7));
    o.blocks.back().size += 1071;
    o.blocks.push_back({3, 1});
    const Frames frames = EncodeLzx(data, o);
    EXPECT_EQ(frames.back().uncompressedSize, 0u);
    EXPECT_EQ(frames.back().bytes.size(), 1u);
    ExpectRoundTrip(data, o, 5);
}

// Translation covers the first 32768 frames only; small frames get there
// quickly. Any translation size the stream header names is honoured.
TEST(LzxRoundTrip, MoreThan32768Frames) {
    EncodeOptions o;
    o.windowSize = 1u << 15;
    o.e8Size = 1u << 20;
    o.frameSize = 32;
    ExpectRoundTrip(X86LikeBytes((LZX_E8_MAX_FRAMES + 300) * o.frameSize + 17, 10), o);
}

// Random data (with translation off, whatever 0xE8 bytes it holds) with
// copies planted at the first and last distance of every slot, capped at
// W - 3, in verbatim and in aligned blocks.
TEST(LzxRoundTrip, MatchesInEverySlotUpToTheWindow) {
    for (uint32_t bits : {15u, 21u}) {
        const uint32_t window = 1u << bits, slots = LzxSlotCount(window);
        std::vector<uint8_t> data = testsupport::RandomBytes(window + 48 * 2 * slots + 64, 11 + bits);
        size_t at = window + 16;
        for (uint32_t s = 3; s < slots; ++s) {
            const uint32_t first = LzxSlotBase(s) - 2;
            const uint32_t last = std::min(first + (1u << LzxFooterBits(s)) - 1, window - 3);
            for (uint32_t distance : {first, last}) {
                for (size_t k = 0; k < 12; ++k) data[at + k] = data[at + k - distance];
                at += 48;
            }
        }
        for (uint32_t type : {LZX_BLOCK_VERBATIM, LZX_BLOCK_ALIGNED}) {
            SCOPED_TRACE(testing::Message() << "window 2^" << bits << " type " << type);
            EncodeOptions o;
            o.windowSize = window;
            o.blocks = {{type, static_cast<uint32_t>(data.size())}};
            ExpectRoundTrip(data, o);
        }
    }
}

}  // namespace
}  // namespace lzxtest
