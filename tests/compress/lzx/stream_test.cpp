// The encoder's internals at edges its golden outputs do not reach: the
// 16-bit code length limit and an output buffer overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "compress/lzx/lzx_encoder.h"
#include "test_support.h"

namespace {

void* Alloc(uint32_t n) { return std::malloc(n); }
void Free(void* p) { std::free(p); }
int Ignore(void*, const uint8_t*, uint32_t, uint32_t) { return 0; }

struct EncoderFixture {
    lzxenc::LzxEncoder* e = lzxenc::LzxEncoderCreate(1u << 15, 65536, Alloc, Free, Ignore, nullptr);
    ~EncoderFixture() { lzxenc::LzxEncoderDestroy(e); }
};

}  // namespace

// Fibonacci counts would give a 24-deep tree: the limited code still fills
// the code space exactly (a decoder refuses incomplete codes).
TEST(LzxStream, CodeLengthsStopAtSixteenBitsAndStayComplete) {
    static lzxenc::HuffmanScratch scratch;
    std::vector<uint16_t> counts(50, 0);
    counts[0] = counts[1] = 1;
    for (size_t i = 2; i < 25; ++i) counts[i] = static_cast<uint16_t>(counts[i - 1] + counts[i - 2]);
    std::vector<uint8_t> lengths(25);
    std::vector<uint16_t> codes(25);
    lzxenc::BuildCodeLengths(&scratch, 25, counts.data(), lengths.data(), codes.data(), true);
    EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), 16);
    uint64_t kraft = 0;
    for (uint8_t l : lengths) kraft += l ? uint64_t{1} << (16 - l) : 0;
    EXPECT_EQ(kraft, 65536u);
}

// A frame that outgrows the output buffer is reported, never written past
// the buffer: by the bit writer at its safety margin and by the raw-byte
// writer at the buffer's end.
TEST(LzxStream, OverflowIsReportedNotWritten) {
    EncoderFixture f;
    ASSERT_NE(f.e, nullptr);
    const auto data = testsupport::RandomBytes(32768, 12);
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
