// Call-address untranslation on its own: exact values, the untouched tail,
// and the inverse property against the compressor-side translation at stream
// offsets far into a folder, where an operand read from the tail would break
// it.
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/lzx_format.h"
#include "decompress/lzx/lzx_decoder.h"
#include "test_lzx_encoder.h"
#include "test_support.h"

namespace lzxtest {
namespace {

constexpr uint32_t kSize = LZX_E8_TRANSLATION_SIZE;

void PutCall(std::vector<uint8_t>& v, size_t at, uint32_t operand) {
    v[at] = 0xE8;
    std::memcpy(&v[at + 1], &operand, 4);
}
uint32_t Operand(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x;
    std::memcpy(&x, &v[at + 1], 4);
    return x;
}

TEST(LzxUntranslateE8, MapsAbsoluteAndWrappedValuesBack) {
    std::vector<uint8_t> frame(64, 0x90);
    PutCall(frame, 0, 150);               // absolute below S: 150 - cur
    PutCall(frame, 5, 0xFFFFFF00);        // -256 <= cur: the value was rel - S
    PutCall(frame, 12, kSize + 5);        // neither: left alone
    uint32_t offset = 1000;
    lzxdec::UntranslateE8(frame.data(), 64, kSize, &offset);
    EXPECT_EQ(offset, 1064u);
    EXPECT_EQ(Operand(frame, 0), 150u - 1000u);
    EXPECT_EQ(Operand(frame, 5), 0xFFFFFF00u + kSize);
    EXPECT_EQ(Operand(frame, 12), kSize + 5);

    std::vector<uint8_t> early(64, 0x90);
    PutCall(early, 20, 0xFFFFFF00);  // at stream offset 20, -256 is out of reach
    offset = 0;
    lzxdec::UntranslateE8(early.data(), 64, kSize, &offset);
    EXPECT_EQ(Operand(early, 20), 0xFFFFFF00u);
}

// An 0xE8 is handled only when its operand ends before the frame's last six
// bytes; the scan resumes after a handled operand, whatever it held.
TEST(LzxUntranslateE8, LeavesTheTailAndOperandsAlone) {
    const uint32_t n = 100;
    std::vector<uint8_t> frame(n, 0x00);
    PutCall(frame, n - 11, 7);  // operand ends at n - 7: handled
    std::vector<uint8_t> b(n, 0x00);
    PutCall(b, n - 10, 7);      // operand would reach n - 6: left alone
    // At offset 0 the call's operand 0x5E8 maps to itself; were the scan to
    // resume at byte 1, that 0xE8 with operand 5 would become 4.
    PutCall(b, 0, 0x000005E8);
    uint32_t offset = 0;
    lzxdec::UntranslateE8(b.data(), n, kSize, &offset);
    EXPECT_EQ(Operand(b, n - 10), 7u);
    EXPECT_EQ(b[2], 0x05);
    offset = 0;
    lzxdec::UntranslateE8(frame.data(), n, kSize, &offset);
    EXPECT_EQ(frame[n - 11], 0xE8);
    EXPECT_EQ(Operand(frame, n - 11), 7u - (n - 11));

    for (uint32_t small = 0; small <= 10; ++small) {  // frames this short stay as they are
        std::vector<uint8_t> s(small, 0xE8), before = s;
        offset = 5;
        lzxdec::UntranslateE8(s.data(), small, kSize, &offset);
        EXPECT_EQ(s, before);
        EXPECT_EQ(offset, 5 + small);
    }
}

// Translation then untranslation is the identity on every frame, including
// frames full of 0xE8 bytes far beyond stream offset 385,875,969, where an
// operand taken from the tail would start to be translated. (From about
// 2^31 - S on, the sign test of the translation breaks the pair; folders
// stay far below that.)
TEST(LzxUntranslateE8, InvertsTheTranslationAtHighOffsets) {
    const uint64_t seed = 0xE8E8;
    SCOPED_TRACE(seed);
    testsupport::Rng rng(seed);
    for (uint32_t start : {0u, 385875969u - 40000u, 385875969u, 0x30000000u, 0x7F000000u}) {
        for (uint32_t n : {11u, 12u, 17u, 4096u, LZX_FRAME_SIZE}) {
            for (int pattern = 0; pattern < 3; ++pattern) {
                std::vector<uint8_t> data(n);
                for (auto& b : data) {
                    const uint32_t r = rng.Below(8);
                    b = pattern == 0 ? 0xE8 : r < 3 ? 0xE8 : r < 5 ? 0xFF : r < 6 ? 0x00 : static_cast<uint8_t>(rng.Next());
                }
                if (pattern == 2) std::memset(data.data() + n - 6, 0xE8, 6);
                std::vector<uint8_t> work = data;
                uint32_t forward = start, back = start;
                TranslateE8(work.data(), n, kSize, &forward);
                lzxdec::UntranslateE8(work.data(), n, kSize, &back);
                ASSERT_EQ(forward, back);
                ASSERT_TRUE(work == data) << "offset " << start << " size " << n << " pattern " << pattern;
            }
        }
    }
}

}  // namespace
}  // namespace lzxtest
