#include <gtest/gtest.h>

#include "lzx_harness.h"

namespace treepak {

namespace {

int IgnoreFrame(void*, const uint8_t*, uint32_t, uint32_t) { return 0; }

struct Created {
    int rc;
    void* handle = nullptr;
    uint32_t blockSize = 12345;
    uint32_t maxOutput = 0;
    explicit Created(uint32_t window) {
        const LzxParams params{window, 65536};
        rc = LzxCreate(&blockSize, &params, testsupport::CountingAlloc, testsupport::CountingFree, &maxOutput, &handle,
                       IgnoreFrame, nullptr);
    }
};

std::string EncodeHash(const std::vector<uint8_t>& data, uint32_t slide, FCIAllocFn alloc = testsupport::CountingAlloc,
                       FCIFreeFn free = testsupport::CountingFree) {
    return lzxtest::HashFrames(lzxtest::EncodeFolders({data}, 15, slide, alloc, free).at(0));
}

}  // namespace

// Windows outside 2^15..2^21 or not a power of two are refused; every
// allocation failure (handle, record and eight buffers) releases the rest.
TEST(LzxInterface, WindowLimitsAndAllocationFailures) {
    for (uint32_t window : {1u << 14, 1u << 22, 50000u}) {
        const Created c(window);
        EXPECT_EQ(c.rc, COMPRESSOR_NO_MEMORY) << window;
        EXPECT_EQ(c.handle, nullptr);
    }
    for (uint32_t bits : {15u, 21u}) {
        const Created c(1u << bits);
        ASSERT_EQ(c.rc, COMPRESSOR_OK);
        EXPECT_EQ(c.blockSize, 32768u);
        EXPECT_EQ(c.maxOutput, 38912u);
        EXPECT_EQ(LzxDestroy(c.handle), COMPRESSOR_OK);
    }
    testsupport::FailEachAllocation(11, [](int failing) {
        const Created c(1u << 15);
        EXPECT_EQ(c.rc, failing <= 10 ? COMPRESSOR_NO_MEMORY : COMPRESSOR_OK) << failing;
        if (c.rc == COMPRESSOR_OK) LzxDestroy(c.handle);
    });
}

TEST(LzxInterface, BadParametersAndShortChunks) {
    const Created c(1u << 15);
    ASSERT_EQ(c.rc, COMPRESSOR_OK);
    std::vector<uint8_t> in(32769, 'a'), out(38912);
    uint32_t estimate = 7;
    EXPECT_EQ(LzxCompressBlock(c.handle, in.data(), 32769, out.data(), 38912, &estimate), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(LzxCompressBlock(c.handle, in.data(), 100, out.data(), 38911, &estimate), COMPRESSOR_BAD_PARAMETER);

    // The handle still works after the refusals. Only a folder's last chunk
    // may be short: input after it is refused until the next folder.
    EXPECT_EQ(LzxCompressBlock(c.handle, in.data(), 1000, out.data(), 38912, &estimate), COMPRESSOR_OK);
    EXPECT_GT(estimate, 0u);
    EXPECT_EQ(LzxCompressBlock(c.handle, in.data(), 32768, out.data(), 38912, &estimate), COMPRESSOR_FAILED);
    EXPECT_EQ(estimate, 0u);
    EXPECT_EQ(LzxFlush(c.handle), COMPRESSOR_OK);
    EXPECT_EQ(LzxReset(c.handle), COMPRESSOR_OK);
    EXPECT_EQ(LzxCompressBlock(c.handle, in.data(), 32768, out.data(), 38912, &estimate), COMPRESSOR_OK);
    EXPECT_EQ(LzxDestroy(c.handle), COMPRESSOR_OK);
    EXPECT_EQ(testsupport::allocations.live, 0);
}

// Slide amounts are rounded down to whole frames, at least one. The output
// depends on table and window contents the encoder never wrote in this
// folder, so every allocation must start zeroed whatever the allocator
// hands out (the counting one fills with 0xA5).
TEST(LzxInterface, SlideRoundingAndAllocatorContents) {
    const auto data = lzxtest::Concat({testsupport::TextBytes(150000, 8), lzxtest::ProseBytes(100000, 9)});
    auto hash = [&](uint32_t slide) { return EncodeHash(data, slide); };
    const std::string clean = EncodeHash(data, 32768, [](uint32_t n) { return std::calloc(1, n); }, std::free);
    EXPECT_EQ(hash(32768), clean);
    EXPECT_EQ(hash(0), clean);
    EXPECT_EQ(hash(65535), clean);
    EXPECT_EQ(hash(100000), hash(98304));
}

}  // namespace treepak
