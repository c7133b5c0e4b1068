// E8 call translation of a chunk: what is and is not rewritten, and that it
// is undone exactly at any stream offset, including far into a folder.
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/bytes.h"
#include "compress/lzx/lzx_encoder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kSize = 12000000;

// The decoder's inverse, with the same tail rule.
void Untranslate(uint8_t* chunk, uint32_t size, uint32_t* offset) {
    if (size <= 6) {
        *offset += size;
        return;
    }
    uint8_t saved[6];
    std::memcpy(saved, chunk + size - 6, 6);
    std::memset(chunk + size - 6, 0xE8, 6);
    const uint32_t limit = *offset + size - 6;
    for (uint32_t i = 0;;) {
        while (chunk[i] != 0xE8) ++i;
        const uint32_t cur = *offset + i;
        if (cur + 4 >= limit) break;
        const uint32_t v = cab::LoadLe32(chunk + i + 1);
        if (v < kSize)
            cab::StoreLe32(chunk + i + 1, v - cur);
        else if (0u - v <= cur)
            cab::StoreLe32(chunk + i + 1, v + kSize);
        i += 5;
    }
    std::memcpy(chunk + size - 6, saved, 6);
    *offset = limit + 6;
}

std::vector<uint8_t> CallHeavy(size_t n, uint64_t seed) {
    auto bytes = testsupport::RandomBytes(n, seed);
    testsupport::Rng rng(seed ^ 0x5555);
    for (size_t i = 0; i < n; i += 1 + rng.Below(9)) bytes[i] = 0xE8;
    return bytes;
}

std::vector<uint8_t> Translated(std::vector<uint8_t> bytes, uint32_t offset) {
    lzxenc::TranslateE8(bytes.data(), static_cast<uint32_t>(bytes.size()), &offset, kSize);
    return bytes;
}

}  // namespace

TEST(LzxE8, InverseAtAnyStreamOffset) {
    // Offsets far into a folder make operands that read the tail's 0xE8
    // fill translatable; the tail rule keeps the two directions inverse.
    // Translation ends after 32768 chunks, so offsets stay below 2^30.
    for (uint32_t start : {0u, 5000000u, 385875969u - 40000u, 400000000u, 1000000000u, 1073741824u - 32768u}) {
        for (uint64_t seed = 1; seed <= 4; ++seed) {
            const auto original = CallHeavy(32768, seed * 31 + start);
            auto bytes = original;
            uint32_t forward = start, back = start;
            lzxenc::TranslateE8(bytes.data(), 32768, &forward, kSize);
            EXPECT_EQ(forward, start + 32768);
            Untranslate(bytes.data(), 32768, &back);
            ASSERT_TRUE(bytes == original) << "offset " << start << " seed " << seed;
        }
    }
}

TEST(LzxE8, WhatIsRewritten) {
    std::vector<uint8_t> chunk(64, 0x90);
    chunk[0] = 0xE8;  // target inside the translation range
    cab::StoreLe32(chunk.data() + 1, 0x10);
    chunk[10] = 0xE8;  // negative target: left alone
    cab::StoreLe32(chunk.data() + 11, 0xFFFFF000);
    chunk[20] = 0xE8;  // target of S and more, below cur + S: stored as rel - S
    cab::StoreLe32(chunk.data() + 21, kSize - 500);
    chunk[30] = 0xE8;  // target at or above cur + S: left alone
    cab::StoreLe32(chunk.data() + 31, kSize);
    chunk[40] = 0xE8;  // backwards call to a non-negative target
    cab::StoreLe32(chunk.data() + 41, 0xFFFFFFF0);
    const auto out = Translated(chunk, 1000);
    EXPECT_EQ(cab::LoadLe32(out.data() + 1), 1000u + 0x10);
    EXPECT_EQ(cab::LoadLe32(out.data() + 11), 0xFFFFF000u);
    EXPECT_EQ(cab::LoadLe32(out.data() + 21), 0u - 500u);
    EXPECT_EQ(cab::LoadLe32(out.data() + 31), kSize);
    EXPECT_EQ(cab::LoadLe32(out.data() + 41), 1040u - 16u);
}

TEST(LzxE8, TailIsNeverTranslated) {
    // In a 40-byte chunk the last six bytes start at 34; an operand that
    // reaches byte 34 (0xE8 at 30) stays as it is, one at 29 is rewritten.
    for (uint32_t at : {29u, 30u, 33u, 35u}) {
        std::vector<uint8_t> chunk(40, 0x00);
        chunk[at] = 0xE8;
        const auto out = Translated(chunk, 0);
        EXPECT_EQ(out != chunk, at == 29) << at;
    }
    std::vector<uint8_t> tiny = {0xE8, 1, 0, 0, 0, 0};
    uint32_t offset = 77;
    lzxenc::TranslateE8(tiny.data(), 6, &offset, kSize);
    EXPECT_EQ(tiny, (std::vector<uint8_t>{0xE8, 1, 0, 0, 0, 0}));
    EXPECT_EQ(offset, 83u);
}
