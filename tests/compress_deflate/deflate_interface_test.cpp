// The compressor entry points: block size and output size, refused
// parameters, handle tags, allocation failures, and when history applies.
#include <cstring>

#include "deflate_test_util.h"

namespace deflatetest {
namespace {

struct CreateResult {
    int rc;
    uint32_t blockSize;
    uint32_t maxOut;
    void* handle;
};

CreateResult Create(uint32_t requested) {
    CreateResult r{0, requested, 0, nullptr};
    r.rc = DeflateCreate(&r.blockSize, AllocCounter::Alloc, AllocCounter::Free, &r.maxOut, &r.handle);
    return r;
}

TEST(DeflateInterface, BlockSizeOutOfRangeBecomesFullBlock) {
    for (uint32_t requested : {0u, 32769u, 40000u}) {
        CreateResult r = Create(requested);
        ASSERT_EQ(r.rc, COMPRESSOR_OK) << requested;
        EXPECT_EQ(r.blockSize, 32768u);
        EXPECT_EQ(r.maxOut, 32780u);
        EXPECT_EQ(DeflateDestroy(r.handle), COMPRESSOR_OK);
    }
    EXPECT_EQ(AllocCounter::live, 0);
}

TEST(DeflateInterface, SmallerBlockSizeBoundsInputAndCapacity) {
    CreateResult r = Create(1000);
    ASSERT_EQ(r.rc, COMPRESSOR_OK);
    EXPECT_EQ(r.blockSize, 1000u);
    EXPECT_EQ(r.maxOut, 1012u);
    std::vector<uint8_t> in = testsupport::RandomBytes(1001, 5);
    std::vector<uint8_t> out(2000);
    uint32_t size = 0;
    EXPECT_EQ(DeflateCompressBlock(r.handle, in.data(), 1001, out.data(), 1012, &size), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflateCompressBlock(r.handle, in.data(), 1000, out.data(), 1011, &size), COMPRESSOR_BAD_PARAMETER);
    ASSERT_EQ(DeflateCompressBlock(r.handle, in.data(), 1000, out.data(), 1012, &size), COMPRESSOR_OK);
    out.resize(size);
    in.resize(1000);
    CheckBlock(in, out, {});
    EXPECT_EQ(DeflateDestroy(r.handle), COMPRESSOR_OK);
}

TEST(DeflateInterface, RefusedCallChangesNothing) {
    Compressor c;
    std::vector<uint8_t> first = testsupport::RandomBytes(kBlock, 11);
    c.Compress(first);

    std::vector<uint8_t> big(kBlock + 1, 7);
    std::vector<uint8_t> out(kMaxOutput + 16, 0xEE);
    uint32_t size = 12345;
    EXPECT_EQ(DeflateCompressBlock(c.handle(), big.data(), kBlock + 1, out.data(), kMaxOutput, &size),
              COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflateCompressBlock(c.handle(), big.data(), kBlock, out.data(), kMaxOutput - 1, &size),
              COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(size, 12345u);
    EXPECT_EQ(out[0], 0xEE);

    // History from the first block is still in force: the repeat of its
    // tail needs it to decode.
    std::vector<uint8_t> second = Slice(first, kBlock - 2000, 2000);
    ParsedStream parsed = CheckBlock(second, c.Compress(second), first);
    ASSERT_FALSE(parsed.blocks.empty());
    EXPECT_GT(parsed.blocks[0].tokens.size(), 0u);
    EXPECT_EQ(parsed.blocks[0].tokens[0].distance, 2000u);
}

TEST(DeflateInterface, WrongTagIsRefusedByEveryEntryPoint) {
    // A handle of the other compressor kind, or anything else, starts with a
    // different tag.
    uint32_t fake[64] = {0x4349434C};
    std::vector<uint8_t> in(100, 1), out(kMaxOutput);
    uint32_t size = 0;
    EXPECT_EQ(DeflateCompressBlock(fake, in.data(), 100, out.data(), kMaxOutput, &size), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflateReset(fake), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(DeflateDestroy(fake), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(fake[0], 0x4349434Cu);
    EXPECT_EQ(DeflateReset(nullptr), COMPRESSOR_BAD_PARAMETER);
}

TEST(DeflateInterface, DestroyClearsTagAndReleasesEverything) {
    int before = AllocCounter::live;
    CreateResult r = Create(kBlock);
    ASSERT_EQ(r.rc, COMPRESSOR_OK);
    EXPECT_EQ(AllocCounter::live, before + 7);  // handle, state, five buffers
    uint32_t tag;
    std::memcpy(&tag, r.handle, sizeof tag);
    EXPECT_NE(tag, 0u);
    EXPECT_EQ(DeflateDestroy(r.handle), COMPRESSOR_OK);
    EXPECT_EQ(AllocCounter::live, before);
}

TEST(DeflateInterface, FailedAllocationLeavesNothingBehind) {
    for (int succeed = 0; succeed < 7; ++succeed) {
        AllocCounter::failAfter = succeed;
        CreateResult r = Create(kBlock);
        AllocCounter::failAfter = -1;
        EXPECT_EQ(r.rc, COMPRESSOR_NO_MEMORY) << succeed;
        EXPECT_EQ(r.handle, nullptr);
        EXPECT_EQ(AllocCounter::live, 0) << succeed;
    }
}

// Whether the next block may refer back: after a full block yes; after a
// shorter one, or after a reset, no.
TEST(DeflateInterface, HistoryOnlyAfterFullBlockAndUntilReset) {
    std::vector<uint8_t> full = testsupport::RandomBytes(kBlock, 21);
    std::vector<uint8_t> repeat = Slice(full, kBlock - 1000, 1000);
    std::vector<uint8_t> shortBlock = Slice(full, 0, kBlock - 1);
    std::vector<uint8_t> repeatShort = Slice(shortBlock, shortBlock.size() - 1000, 1000);

    auto firstTokenDistance = [](const ParsedStream& p) {
        return p.blocks.empty() || p.blocks[0].tokens.empty() ? 0u : p.blocks[0].tokens[0].distance;
    };

    Compressor c;
    c.Compress(full);
    EXPECT_EQ(firstTokenDistance(CheckBlock(repeat, c.Compress(repeat), full)), 1000u);

    c.Compress(full);
    c.Reset();
    ParsedStream afterReset = CheckBlock(repeat, c.Compress(repeat), {});
    EXPECT_GT(afterReset.output.size(), 0u);

    c.Compress(shortBlock);
    CheckBlock(repeatShort, c.Compress(repeatShort), {});

    // A block right after a reset still counts as full for the next one.
    c.Reset();
    c.Compress(full);
    EXPECT_EQ(firstTokenDistance(CheckBlock(repeat, c.Compress(repeat), full)), 1000u);
}

}  // namespace
}  // namespace deflatetest
