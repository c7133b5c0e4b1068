// Streams from the test-only encoder decode back to their input: every
// block type and layout, translation on and off, more than 32768 frames, and
// matches in every position slot up to W - 3. (Every window size on the
// tool's own compressor output is in tests/lzx_encoder.)
#include <gtest/gtest.h>

#include "cabinet/lzx_format.h"
#include "decoder_harness.h"
#include "test_support.h"

namespace lzxtest {
namespace {

using testsupport::RandomBytes;
using testsupport::TextBytes;

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, const EncodeOptions& options) {
    const std::vector<Frame> frames = EncodeLzx(data, options);
    const DecodeResult result = DecodeFrames(frames, options.windowSize);
    ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame << " of " << frames.size();
    ASSERT_EQ(result.output.size(), data.size());
    EXPECT_TRUE(result.output == data);
}

// Uncompressed blocks of odd and even size ending inside and exactly at
// frame ends (the odd one's pad byte then opens the next frame), empty
// blocks of every type, aligned blocks, and a last odd block ending on a
// frame end, which leaves a frame of 0 uncompressed bytes.
TEST(LzxRoundTrip, BlockLayoutsAroundFrameEnds) {
    const std::vector<uint8_t> data = Concat({TextBytes(70000, 5), X86LikeBytes(60000, 6)});
    ASSERT_EQ(data.size(), 4 * 32768u - 1072);
    EncodeOptions o;
    o.windowSize = 1u << 16;
    o.e8Size = LZX_E8_TRANSLATION_SIZE;
    o.blocks = {{1, 32763}, {3, 5},      {1, 0},     {2, 20000}, {3, 0},     {3, 12768},
                {3, 3},     {2, 0},      {1, 30000}, {3, 2765},  {2, 30000}, {3, 1696}};
    uint32_t sum = 0;
    for (const auto& b : o.blocks) sum += b.size;
    ASSERT_EQ(sum, data.size());
    const std::vector<Frame> frames = EncodeLzx(data, o);
    ASSERT_EQ(frames.size(), 4u);
    const DecodeResult result = DecodeFrames(frames, o.windowSize);
    ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame;
    EXPECT_TRUE(result.output == data);

    // The same layout ending with an odd uncompressed block on a frame end.
    std::vector<uint8_t> exact = data;
    exact.push_back(0x42);
    for (size_t i = 0; i < 1071; ++i) exact.push_back(static_cast<uint8_t>(i * 7));
    EncodeOptions o2 = o;
    o2.blocks.back().size += 1072 - 1;  // odd, then one more odd block up to the frame end
    o2.blocks.push_back({3, 1});
    const std::vector<Frame> frames2 = EncodeLzx(exact, o2);
    ASSERT_EQ(frames2.back().uncompressedSize, 0u);
    ASSERT_EQ(frames2.back().bytes.size(), 1u);
    const DecodeResult result2 = DecodeFrames(frames2, o2.windowSize);
    ASSERT_EQ(result2.status, 0) << "frame " << result2.failedFrame;
    EXPECT_TRUE(result2.output == exact);
}

TEST(LzxRoundTrip, TreeShapes) {
    const std::vector<uint8_t> text = TextBytes(90000, 7);
    EncodeOptions o;
    o.windowSize = 1u << 15;
    for (bool runs : {true, false}) {
        SCOPED_TRACE(runs);
        o.treeRuns = runs;
        o.literalsOnly = true;  // no match headers, an all-zero length tree
        ExpectRoundTrip(text, o);
        o.literalsOnly = false;
        o.blocks = {{2, 40000}, {2, 50000}};
        ExpectRoundTrip(text, o);
        o.blocks.clear();
    }
    // Short matches only: headers are used, the length tree stays all zero.
    std::vector<uint8_t> shortRepeats = RandomBytes(60000, 8);
    for (size_t i = 64; i + 8 < shortRepeats.size(); i += 23)
        for (size_t k = 0; k < 6; ++k) shortRepeats[i + k] = shortRepeats[i - 40 + k];
    ExpectRoundTrip(shortRepeats, o);
}

TEST(LzxRoundTrip, TranslationOffLeavesE8BytesAlone) {
    const std::vector<uint8_t> code = X86LikeBytes(200000, 9);
    EncodeOptions o;
    o.windowSize = 1u << 17;
    o.e8Size = 0;
    ExpectRoundTrip(code, o);
    o.e8Size = 1u << 20;  // any size the stream header names is honoured
    ExpectRoundTrip(code, o);
}

// Translation covers the first 32768 frames only; small frames get there
// quickly. Every frame also starts its bit stream afresh.
TEST(LzxRoundTrip, MoreThan32768Frames) {
    EncodeOptions o;
    o.windowSize = 1u << 15;
    o.e8Size = LZX_E8_TRANSLATION_SIZE;
    o.frameSize = 32;
    const std::vector<uint8_t> code = X86LikeBytes((LZX_E8_MAX_FRAMES + 300) * o.frameSize + 17, 10);
    const std::vector<Frame> frames = EncodeLzx(code, o);
    ASSERT_GT(frames.size(), LZX_E8_MAX_FRAMES);
    const DecodeResult result = DecodeFrames(frames, o.windowSize);
    ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame;
    EXPECT_TRUE(result.output == code);
}

// Random data with copies planted at the first and last distance of every
// slot (capped at W - 3), so each slot's footer range is exercised at both
// ends, in verbatim and in aligned blocks.
TEST(LzxRoundTrip, MatchesInEverySlotUpToTheWindow) {
    for (uint32_t bits : {15u, 21u}) {
        const uint32_t window = 1u << bits;
        const uint32_t slots = LzxSlotCount(window);
        std::vector<uint8_t> data = RandomBytes(window + 48 * 2 * slots + 64, 11 + bits);
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
            std::vector<uint32_t> used;
            EncodeOptions o;
            o.windowSize = window;
            o.blocks = {{type, static_cast<uint32_t>(data.size())}};
            o.slotsUsed = &used;
            ExpectRoundTrip(data, o);
            ASSERT_EQ(used.size(), LZX_MAX_SLOTS);
            for (uint32_t s = 4; s < slots; ++s) EXPECT_GE(used[s], 1u) << "slot " << s;
        }
    }
}

}  // namespace
}  // namespace lzxtest
