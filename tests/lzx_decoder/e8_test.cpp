// Call-address untranslation on its own: exact values and the untouched
// tail. (The inverse property against the compressor's translation at high
// stream offsets is checked in tests/lzx_roundtrip.)
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/lzx_format.h"
#include "decompress/lzx/lzx_decoder.h"

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

}  // namespace
}  // namespace lzxtest
