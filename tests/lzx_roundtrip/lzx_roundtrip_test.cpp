// The tool's own LZX compressor and decoder together, through the writer's
// and the reader's per-kind entry points: every window size on text,
// x86-like code with many 0xE8 bytes, random data and runs; several folders
// through one compressor and one decoder; and the E8 pair at high offsets.
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/lzx_format.h"
#include "compress/compressor.h"
#include "compress/lzx/lzx_encoder.h"
#include "decoder_harness.h"
#include "decompress/lzx/lzx_decoder.h"
#include "test_support.h"

namespace lzxtest {
namespace {

int CollectFrame(void* context, const uint8_t* bytes, uint32_t compressedSize, uint32_t uncompressedSize) {
    auto* frames = static_cast<std::vector<Frame>*>(context);
    frames->push_back({std::vector<uint8_t>(bytes, bytes + compressedSize), uncompressedSize});
    return 0;
}

// One compressor for several folders, reset between them as the writer does.
class Compressor {
public:
    explicit Compressor(uint32_t windowSize) {
        uint32_t blockSize = 0, maxOutput = 0;
        const LzxParams params{windowSize, 65536};
        EXPECT_EQ(LzxCreate(&blockSize, &params, TestAlloc, TestFree, &maxOutput, &handle_, CollectFrame, &frames_),
                  COMPRESSOR_OK);
        output_.resize(maxOutput);
    }
    ~Compressor() { LzxDestroy(handle_); }

    std::vector<Frame> Folder(const std::vector<uint8_t>& data) {
        frames_.clear();
        for (size_t at = 0; at < data.size(); at += LZX_FRAME_SIZE) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(LZX_FRAME_SIZE, data.size() - at));
            uint32_t estimate = 0;
            EXPECT_EQ(LzxCompressBlock(handle_, data.data() + at, n, output_.data(),
                                       static_cast<uint32_t>(output_.size()), &estimate),
                      COMPRESSOR_OK);
        }
        EXPECT_EQ(LzxFlush(handle_), COMPRESSOR_OK);
        EXPECT_EQ(LzxReset(handle_), COMPRESSOR_OK);
        return frames_;
    }

private:
    void* handle_ = nullptr;
    std::vector<Frame> frames_;
    std::vector<uint8_t> output_;
};

struct Sample {
    const char* name;
    std::vector<uint8_t> data;
};

std::vector<Sample> Samples() {
    return {{"text", testsupport::TextBytes(300000, 1)},
            {"x86", X86LikeBytes(300000, 2)},
            {"random", testsupport::RandomBytes(100000, 3)},
            {"runs", RunBytes(200000, 4)}};
}

TEST(LzxCompressorDecoder, EveryWindowSizeAndKindOfData) {
    const std::vector<Sample> samples = Samples();
    for (uint32_t bits = LZX_MIN_WINDOW_BITS; bits <= LZX_MAX_WINDOW_BITS; ++bits) {
        Compressor compressor(1u << bits);
        LdiDecoder decoder(1u << bits);
        for (const Sample& sample : samples) {
            SCOPED_TRACE(testing::Message() << "window 2^" << bits << ", " << sample.name);
            const std::vector<Frame> frames = compressor.Folder(sample.data);
            ASSERT_EQ(LdiReset(decoder.handle()), DECODER_OK);
            const DecodeResult result = decoder.DecodeAll(frames);
            ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame << " of " << frames.size();
            ASSERT_TRUE(result.output == sample.data);
        }
    }
}

// Folders of odd sizes (a last frame shorter than 32768, and a folder of
// a single byte), one after the other through the same pair.
TEST(LzxCompressorDecoder, ShortAndEmptyishFolders) {
    Compressor compressor(1u << 17);
    LdiDecoder decoder(1u << 17);
    for (size_t size : {1u, 7u, 32767u, 32768u, 32769u, 100001u}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> data = X86LikeBytes(size, size);
        const std::vector<Frame> frames = compressor.Folder(data);
        ASSERT_EQ(LdiReset(decoder.handle()), DECODER_OK);
        const DecodeResult result = decoder.DecodeAll(frames);
        ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame;
        ASSERT_TRUE(result.output == data);
    }
}

// Both sides' E8 procedures on the same chunks, from a stream offset far
// into a folder: frames full of 0xE8 bytes come back unchanged.
TEST(LzxCompressorDecoder, E8PairAtHighOffsets) {
    testsupport::Rng rng(77);
    for (uint32_t start : {0u, 385875969u - 32768u, 400000000u, 0x60000000u}) {
        for (uint32_t n : {7u, 11u, 4096u, LZX_FRAME_SIZE}) {
            std::vector<uint8_t> data(n);
            for (auto& b : data) b = rng.Below(3) ? 0xE8 : static_cast<uint8_t>(rng.Next());
            std::vector<uint8_t> work = data;
            uint32_t forward = start, back = start;
            lzxenc::TranslateE8(work.data(), n, &forward, LZX_E8_TRANSLATION_SIZE);
            lzxdec::UntranslateE8(work.data(), n, LZX_E8_TRANSLATION_SIZE, &back);
            EXPECT_EQ(forward, back);
            ASSERT_TRUE(work == data) << "offset " << start << " size " << n;
        }
    }
}

}  // namespace
}  // namespace lzxtest
