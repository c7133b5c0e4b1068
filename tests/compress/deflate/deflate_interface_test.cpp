// Entry points: sizes, refused parameters and allocation failures. (When a
// block may refer back into the previous one the round trips check.)
#include "deflate_test_util.h"

namespace deflatetest {
namespace {

int Create(uint32_t* blockSize, uint32_t* maxOut, void** handle) {
    return DeflateCreate(blockSize, AllocCounter::Alloc, AllocCounter::Free, maxOut, handle);
}

TEST(DeflateInterface, BlockSizeAndOutputLimit) {
    for (uint32_t requested : {0u, 40000u, 1000u}) {
        uint32_t blockSize = requested, maxOut = 0;
        void* h = nullptr;
        ASSERT_EQ(Create(&blockSize, &maxOut, &h), COMPRESSOR_OK);
        const uint32_t expected = requested == 1000 ? 1000 : kBlock;
        EXPECT_EQ(blockSize, expected);
        EXPECT_EQ(maxOut, expected + 12);
        // Input above the block size, or capacity below the limit, is refused
        // without touching the output.
        std::vector<uint8_t> in(expected + 1, 'x'), out(kMaxOutput + 1, 0xEE);
        uint32_t size = 77;
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected + 1, out.data(), kMaxOutput, &size), COMPRESSOR_BAD_PARAMETER);
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected, out.data(), expected + 11, &size), COMPRESSOR_BAD_PARAMETER);
        EXPECT_EQ(size, 77u);
        EXPECT_EQ(out[0], 0xEE);
        EXPECT_EQ(DeflateCompressBlock(h, in.data(), expected, out.data(), expected + 12, &size), COMPRESSOR_OK);
        EXPECT_EQ(DeflateDestroy(h), COMPRESSOR_OK);
    }
    EXPECT_EQ(AllocCounter::live, 0);
}

// Handle, state and five buffers: every failure releases what was taken.
TEST(DeflateInterface, FailedAllocationLeavesNothingBehind) {
    uint32_t blockSize = 0, maxOut = 0;
    for (int succeed = 0; succeed < 7; ++succeed) {
        AllocCounter::failAfter = succeed;
        void* h = &blockSize;
        EXPECT_EQ(Create(&blockSize, &maxOut, &h), COMPRESSOR_NO_MEMORY) << succeed;
        AllocCounter::failAfter = -1;
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(AllocCounter::live, 0) << succeed;
    }
}

}  // namespace
}  // namespace deflatetest
