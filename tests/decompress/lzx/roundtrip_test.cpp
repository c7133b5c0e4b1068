// The compressor's streams reach every position slot: copies planted at the
// first and last distance of each slot (capped at W - 3) in low-entropy
// filler, each copy of bytes the filler never holds, so that only the
// planted source matches. (Every window size on ordinary data is in the
// golden vectors of tests/compress/lzx.)
#include <gtest/gtest.h>

#include "cabinet/lzx_format.h"
#include "lzx_harness.h"
#include "test_support.h"

namespace lzxtest {
namespace {

TEST(LzxRoundTrip, MatchesInEverySlotUpToTheWindow) {
    for (uint32_t bits : {15u, 21u}) {
        SCOPED_TRACE(bits);
        const uint32_t window = 1u << bits, slots = LzxSlotCount(window);
        testsupport::Rng rng(bits);
        std::vector<uint8_t> data(window + 48 * 2 * slots + 64);
        for (auto& b : data) b = static_cast<uint8_t>(rng.Below(16));
        size_t at = window + 16;
        for (uint32_t s = 4; s < slots; ++s) {
            const uint32_t first = LzxSlotBase(s) - 2;
            const uint32_t last = std::min(first + (1u << LzxFooterBits(s)) - 1, window - 3);
            for (uint32_t distance : {first, last}) {
                for (size_t k = 0; k < 12; ++k) data[at + k - distance] = static_cast<uint8_t>(0x80 | rng.Below(128));
                for (size_t k = 0; k < 12; ++k) data[at + k] = data[at + k - distance];
                at += 48;
            }
        }
        const DecodeResult result = DecodeFrames(EncodeFolders({data}, bits).at(0), window);
        ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame;
        EXPECT_TRUE(result.output == data);
    }
}

}  // namespace
}  // namespace lzxtest
