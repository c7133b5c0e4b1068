// Properties of real encoder output: the stream header, frame sizes, the
// block types chosen, the frame limit on matches and the odd pad byte.
#include <gtest/gtest.h>

#include <cstdlib>

#include "compress/lzx/lzx_encoder.h"
#include "lzx_harness.h"
#include "test_support.h"

using namespace lzxtest;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

uint32_t FirstBlockType(const Frames& frames) {
    BitReader bits{frames.at(0).bytes};
    bits.Read(33);
    return bits.Read(3);
}

void* Alloc(uint32_t n) { return std::malloc(n); }
void Free(void* p) { std::free(p); }
int Ignore(void*, const uint8_t*, uint32_t, uint32_t) { return 0; }

struct EncoderFixture {
    lzxenc::LzxEncoder* e;
    explicit EncoderFixture(uint32_t window) {
        e = lzxenc::LzxEncoderCreate(window, 65536, Alloc, Free, Ignore, nullptr);
    }
    ~EncoderFixture() { lzxenc::LzxEncoderDestroy(e); }
};

}  // namespace

TEST(LzxStream, HeaderCarriesTranslationSize) {
    const Frames frames = EncodeFolder(TextBytes(1000, 1), 15);
    ASSERT_EQ(frames.size(), 1u);
    BitReader bits{frames[0].bytes};
    EXPECT_EQ(bits.Read(1), 1u);
    EXPECT_EQ((bits.Read(16) << 16) | bits.Read(16), 12000000u);
    EXPECT_EQ(frames[0].uncompressedSize, 1000u);
    EXPECT_EQ(frames[0].bytes.size() % 2, 0u);
}

TEST(LzxStream, BlockTypeFollowsEstimate) {
    EXPECT_EQ(FirstBlockType(EncodeFolder(RandomBytes(200000, 11), 16)), LZX_BLOCK_UNCOMPRESSED);
    EXPECT_NE(FirstBlockType(EncodeFolder(TextBytes(50000, 3), 15)), LZX_BLOCK_UNCOMPRESSED);
}

// An odd uncompressed block ending the folder on a frame end leaves its pad
// byte as a frame of its own that covers no bytes.
TEST(LzxStream, OddRawBlockPadByteFormsLastFrame) {
    const auto data = RandomBytes(3 * 32768, 2);
    const Frames frames = EncodeFolder(data, 15);
    ASSERT_EQ(frames.size(), 4u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(frames[i].uncompressedSize, 32768u);
    EXPECT_EQ(frames[3].uncompressedSize, 0u);
    EXPECT_EQ(frames[3].bytes, std::vector<uint8_t>{0});
    EXPECT_TRUE(DecodeFrames(frames, 15) == data);
}

// Runs of one byte across frame ends: every match stays inside its frame
// and no frame's last byte is part of a match.
TEST(LzxStream, MatchesStopBeforeFrameEnds) {
    for (uint32_t window : {1u << 15, 1u << 17}) {
        EncoderFixture f(window);
        ASSERT_NE(f.e, nullptr);
        const auto data = Concat({RunBytes(150000), std::vector<uint8_t>(100000, 'z'), TextBytes(60000, 4)});
        size_t checked = 0;
        for (size_t at = 0; at < data.size(); at += 32768) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(32768, data.size() - at));
            uint32_t estimate;
            ASSERT_EQ(lzxenc::LzxEncodeChunk(f.e, data.data() + at, n, LZX_E8_TRANSLATION_SIZE, &estimate), 0);
            uint32_t p = f.e->blockStart;
            for (uint32_t i = 0, j = 0; i < f.e->itemCount; ++i) {
                uint32_t length = 1;
                if (lzxenc::IsMatchItem(f.e, i)) {
                    length = f.e->items[i] + 2u;
                    ++j;
                    ASSERT_LE((p & 32767) + length, 32767u) << "match at " << p;
                    ++checked;
                }
                p += length;
            }
        }
        EXPECT_GT(checked, 100u);
        EXPECT_TRUE(lzxenc::LzxEncoderFlush(f.e));
    }
}

TEST(LzxStream, AlignedBlocksOnlyUnderTheirRule) {
    EncoderFixture f(1u << 15);
    ASSERT_NE(f.e, nullptr);
    auto type = [&](uint32_t matches, auto offsetOf) {
        for (uint32_t j = 0; j < matches; ++j) f.e->matchOffsets[j] = offsetOf(j);
        return lzxenc::ChooseBlockType(f.e, matches);
    };
    auto sameLowBits = [](uint32_t j) { return 16 + 8 * j; };
    auto spreadLowBits = [](uint32_t j) { return 16 + j; };
    EXPECT_EQ(type(99, sameLowBits), LZX_BLOCK_VERBATIM);
    EXPECT_EQ(type(100, sameLowBits), LZX_BLOCK_ALIGNED);
    EXPECT_EQ(type(400, spreadLowBits), LZX_BLOCK_VERBATIM);
    // Offsets below 16 and repeats do not count; one value above a fifth does.
    EXPECT_EQ(type(500, [](uint32_t j) { return j % 5 == 0 ? 40u : j % 5 == 1 ? 1u : 16 + j; }), LZX_BLOCK_ALIGNED);
    EXPECT_EQ(type(500, [](uint32_t j) { return j < 450 ? 15u : 24u; }), LZX_BLOCK_ALIGNED);
    EXPECT_EQ(type(500, [](uint32_t j) { return j < 450 ? 15u : 16 + j; }), LZX_BLOCK_VERBATIM);
}

// A frame that outgrows the output buffer is reported, never written past
// the buffer: by the bit writer at its safety margin and by the raw-byte
// writer at the buffer's end.
TEST(LzxStream, OverflowIsReportedNotWritten) {
    EncoderFixture f(1u << 15);
    ASSERT_NE(f.e, nullptr);
    const auto data = RandomBytes(32768, 12);
    uint32_t estimate = 0;
    ASSERT_EQ(lzxenc::LzxEncodeChunk(f.e, data.data(), 32768, LZX_E8_TRANSLATION_SIZE, &estimate), lzxenc::kChunkOk);

    f.e->outPtr = f.e->outBuffer + lzxenc::kOutBufferSize - 20;
    lzxenc::WriteUncompressedBlock(f.e, f.e->windowSize, 1001);
    EXPECT_EQ(f.e->outputOverflow, 1u);
    EXPECT_LE(f.e->outPtr, f.e->outBuffer + lzxenc::kOutBufferSize);

    f.e->outputOverflow = 0;
    f.e->outPtr = f.e->outBuffer + lzxenc::kOutSafeSize;
    lzxenc::PutBits(f.e, 16, 0xBEEF);
    EXPECT_EQ(f.e->outputOverflow, 1u);
    EXPECT_EQ(f.e->outPtr, f.e->outBuffer + 2);

    EXPECT_EQ(lzxenc::LzxEncodeChunk(f.e, data.data(), 32768, LZX_E8_TRANSLATION_SIZE, &estimate),
              lzxenc::kChunkOverflow);
    EXPECT_EQ(estimate, 0u);
    EXPECT_FALSE(lzxenc::LzxEncoderFlush(f.e));
}
