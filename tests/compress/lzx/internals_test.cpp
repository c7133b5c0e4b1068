// The encoder's parts at edges its golden outputs do not reach: E8 call
// translation both ways (the golden frames of call-heavy data pin the tail
// rule), the 16-bit code length limit and an output buffer overflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "cabinet/bytes.h"
#include "cabinet/lzx_format.h"
#include "compress/lzx/lzx_encoder.h"
#include "decompress/lzx/lzx_decoder_state.h"
#include "test_support.h"

namespace treepak {

namespace {

constexpr uint32_t kSize = LZX_E8_TRANSLATION_SIZE;

std::vector<uint8_t> Translated(std::vector<uint8_t> bytes, uint32_t offset) {
    lzxenc::TranslateE8(bytes.data(), static_cast<uint32_t>(bytes.size()), &offset, kSize);
    return bytes;
}
std::vector<uint8_t> Untranslated(std::vector<uint8_t> bytes, uint32_t offset) {
    lzxdec::UntranslateE8(bytes.data(), static_cast<uint32_t>(bytes.size()), kSize, &offset);
    return bytes;
}

TEST(LzxE8, InverseAtAnyStreamOffset) {
    // Offsets far into a folder make operands that read the tail's 0xE8
    // fill translatable; the tail rule keeps the two directions inverse.
    // Translation ends after 32768 chunks, so offsets stay below 2^30.
    testsupport::Rng rng(77);
    for (uint32_t start : {0u, 5000000u, 385875969u - 40000u, 400000000u, 1000000000u, 1073741824u - 32768u}) {
        for (uint32_t n : {7u, 11u, 4096u, 32768u, 32768u}) {
            std::vector<uint8_t> original(n);
            for (auto& b : original) b = rng.Below(3) ? 0xE8 : static_cast<uint8_t>(rng.Next());
            std::vector<uint8_t> bytes = original;
            uint32_t forward = start, back = start;
            lzxenc::TranslateE8(bytes.data(), n, &forward, kSize);
            lzxdec::UntranslateE8(bytes.data(), n, kSize, &back);
            EXPECT_EQ(forward, start + n);
            EXPECT_EQ(back, start + n);
            ASSERT_TRUE(bytes == original) << "offset " << start << " size " << n;
        }
    }
}

TEST(LzxE8, WhatIsRewritten) {
    const struct {
        uint32_t operand, stored;  // at stream offset 1000 + 10 * i
    } calls[] = {
        {0x10, 1000 + 0x10},        // target inside the translation range
        {0xFFFFF000, 0xFFFFF000},   // negative target: left alone
        {kSize - 500, 0u - 500},    // target of S and more, below cur + S: stored as rel - S
        {kSize, kSize},             // target at or above cur + S: left alone
        {0xFFFFFFF0, 1040 - 16},    // backwards call to a non-negative target
    };
    std::vector<uint8_t> chunk(64, 0x90);
    for (size_t i = 0; i < std::size(calls); ++i) {
        chunk[10 * i] = 0xE8;
        cab::StoreLe32(chunk.data() + 10 * i + 1, calls[i].operand);
    }
    const auto out = Translated(chunk, 1000);
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(cab::LoadLe32(out.data() + 10 * i + 1), calls[i].stored) << i;
    EXPECT_TRUE(Untranslated(out, 1000) == chunk);

    // At stream offset 20 the value -256 is out of reach, so it stays.
    std::vector<uint8_t> early(64, 0x90);
    early[0] = 0xE8;
    cab::StoreLe32(early.data() + 1, 0xFFFFFF00);
    EXPECT_EQ(cab::LoadLe32(Untranslated(early, 20).data() + 1), 0xFFFFFF00u);
    // At offset 0 the call's operand 0x5E8 maps to itself; were the scan to
    // resume at byte 1, that 0xE8 with operand 5 would change.
    std::vector<uint8_t> skip(64, 0x00);
    skip[0] = 0xE8;
    cab::StoreLe32(skip.data() + 1, 0x5E8);
    EXPECT_TRUE(Translated(skip, 0) == skip);
    EXPECT_TRUE(Untranslated(skip, 0) == skip);
}

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
    lzxenc::LzxEncoder* e = lzxenc::LzxEncoderCreate(1u << 15, 65536, testsupport::CountingAlloc,
                                                     testsupport::CountingFree,
                                                     [](void*, const uint8_t*, uint32_t, uint32_t) { return 0; }, nullptr);
    ASSERT_NE(e, nullptr);
    const auto data = testsupport::RandomBytes(32768, 12);
    uint32_t estimate = 0;
    ASSERT_EQ(lzxenc::LzxEncodeChunk(e, data.data(), 32768, kSize, &estimate), lzxenc::kChunkOk);

    e->outPtr = e->outBuffer + lzxenc::kOutBufferSize - 20;
    lzxenc::WriteUncompressedBlock(e, e->windowSize, 1001);
    EXPECT_EQ(e->outputOverflow, 1u);
    EXPECT_LE(e->outPtr, e->outBuffer + lzxenc::kOutBufferSize);

    e->outputOverflow = 0;
    e->outPtr = e->outBuffer + lzxenc::kOutSafeSize;
    lzxenc::PutBits(e, 16, 0xBEEF);
    EXPECT_EQ(e->outputOverflow, 1u);
    EXPECT_EQ(e->outPtr, e->outBuffer + 2);

    EXPECT_EQ(lzxenc::LzxEncodeChunk(e, data.data(), 32768, kSize, &estimate), lzxenc::kChunkOverflow);
    EXPECT_EQ(estimate, 0u);
    EXPECT_FALSE(lzxenc::LzxEncoderFlush(e));
    lzxenc::LzxEncoderDestroy(e);
}

}  // namespace

}  // namespace treepak
