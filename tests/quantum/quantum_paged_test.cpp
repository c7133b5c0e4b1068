// The paged window: used when the client's allocator refuses the window in
// one piece, it spills 4096-byte pages to a file opened through the open
// callback and must give exactly the bytes the memory window gives.
#include <gtest/gtest.h>

#include <cstring>

#include "quantum_test_encoder.h"
#include "quantum_test_support.h"
#include "test_support.h"

namespace qtest {
namespace {

constexpr uint32_t HANDLE_AND_PAGE_TABLE = 2;  // allocations besides the page buffers

std::vector<uint8_t> SpillHeavyData(size_t size, uint64_t seed) {
    std::vector<uint8_t> data = testsupport::TextBytes(size / 2, seed);
    const auto noise = testsupport::RandomBytes(size / 4, seed + 1);
    data.insert(data.end(), noise.begin(), noise.end());
    // Copy the text again so that matches reach back across many pages.
    data.insert(data.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size - data.size()));
    return data;
}

class PagedWindowTest : public testing::Test {
protected:
    void TearDown() override {
        AllowAllAllocation();
        FailSpillIoAfter(UINT32_MAX);
        EXPECT_EQ(OutstandingBlocks(), 0u);
        EXPECT_EQ(LastSpill().openHandles, 0);
    }
    // Refuses the window in one piece and allows `buffers` page buffers.
    static void ForcePaging(uint32_t bits, uint32_t buffers) {
        LimitAllocation(UINT32_MAX, uint32_t{1} << bits, HANDLE_AND_PAGE_TABLE + buffers);
    }
    testsupport::ScratchDir scratch_;
    DecoderFileCallbacks files_ = SpillFiles(scratch_.str());
};

TEST_F(PagedWindowTest, GivesTheSameBytesAsTheMemoryWindow) {
    const struct { uint32_t bits, buffers; } cases[] = {{10, 3}, {12, 3}, {13, 3}, {15, 5}, {17, 4}, {21, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "bits " << c.bits << ", buffers " << c.buffers);
        const size_t window = size_t{1} << c.bits;
        const std::vector<uint8_t> data = SpillHeavyData(window + 90000, c.bits);
        const auto blocks = CompressQuantum(data, c.bits);
        ForcePaging(c.bits, c.buffers);
        {
            Decoder paged(c.bits, &files_);
            ASSERT_EQ(paged.created, DECODER_OK);
            // The spill file's name is "*", its NUL and the window size.
            uint8_t expectedName[6] = {'*', 0};
            std::memcpy(expectedName + 2, &window, 4);  // little-endian host
            EXPECT_EQ(LastSpill().nameBytes, std::vector<uint8_t>(expectedName, expectedName + 6));
            EXPECT_EQ(LastSpill().flags, 0x8102);
            EXPECT_EQ(LastSpill().mode, 0x0180);

            DecodeRun run = paged.DecodeAll(blocks);
            ASSERT_EQ(run.result, DECODER_OK) << "block " << run.failedBlock;
            EXPECT_TRUE(run.output == data);
            if (window / 4096 > c.buffers) {
                EXPECT_GT(LastSpill().writes, 0u);
                EXPECT_GT(LastSpill().reads, 0u);
            }
            // A reset forgets every page; the folder decodes again the same.
            ASSERT_EQ(QdiReset(paged.handle), DECODER_OK);
            run = paged.DecodeAll(blocks);
            ASSERT_EQ(run.result, DECODER_OK);
            EXPECT_TRUE(run.output == data);
        }
        AllowAllAllocation();
    }
}

TEST_F(PagedWindowTest, MatchIntoANeverWrittenPageFailsWhereMemoryGivesZeros) {
    QuantumTestEncoder encoder(16);
    encoder.Literal('x');
    encoder.Match(5, 20000);  // reaches back into page 11 before any byte was there
    const std::vector<EncodedBlock> blocks = {{encoder.FinishBlock(), 6}};
    const DecodeRun inMemory = DecodeFolder(16, blocks);
    ASSERT_EQ(inMemory.result, DECODER_OK);
    EXPECT_EQ(inMemory.output, (std::vector<uint8_t>{'x', 0, 0, 0, 0, 0}));

    ForcePaging(16, 3);
    Decoder paged(16, &files_);
    ASSERT_EQ(paged.created, DECODER_OK);
    EXPECT_EQ(paged.DecodeAll(blocks).result, DECODER_DATA_ERROR);
}

// The write position sits at offset 4000 of page 3, the source at offset
// 4050 of page 1: the source crosses into page 2 first, then the destination
// into page 4, all within one match and with only three page buffers.
TEST_F(PagedWindowTest, MatchCrossingSourceAndDestinationPagesFitsInThreeBuffers) {
    QuantumTestEncoder encoder(16);
    std::vector<uint8_t> expected = testsupport::RandomBytes(3 * 4096 + 4000, 8);
    for (uint8_t b : expected) encoder.Literal(b);
    encoder.Match(200, 8142);
    for (int i = 0; i < 200; ++i) expected.push_back(expected[expected.size() - 8142]);
    const std::vector<EncodedBlock> blocks = {{encoder.FinishBlock(), static_cast<uint32_t>(expected.size())}};

    ForcePaging(16, 3);
    Decoder paged(16, &files_);
    ASSERT_EQ(paged.created, DECODER_OK);
    const DecodeRun run = paged.DecodeAll(blocks);
    EXPECT_EQ(run.result, DECODER_OK);
    EXPECT_TRUE(run.output == expected);
}

TEST_F(PagedWindowTest, SpillFailureEndsTheBlockAndStaysUntilReset) {
    const std::vector<uint8_t> data = SpillHeavyData(300000, 3);
    const auto blocks = CompressQuantum(data, 16);
    ForcePaging(16, 3);
    Decoder paged(16, &files_);
    ASSERT_EQ(paged.created, DECODER_OK);
    FailSpillIoAfter(40);
    const DecodeRun failed = paged.DecodeAll(blocks);
    ASSERT_EQ(failed.result, DECODER_DATA_ERROR);
    FailSpillIoAfter(UINT32_MAX);
    const std::vector<EncodedBlock> rest(blocks.begin() + static_cast<std::ptrdiff_t>(failed.failedBlock) + 1, blocks.end());
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(paged.DecodeAll(rest).result, DECODER_DATA_ERROR) << "the paging error stays";

    ASSERT_EQ(QdiReset(paged.handle), DECODER_OK);
    const DecodeRun again = paged.DecodeAll(blocks);
    ASSERT_EQ(again.result, DECODER_OK);
    EXPECT_TRUE(again.output == data);
}

TEST_F(PagedWindowTest, CreateFailsWithTooFewBuffersOrNoSpillFile) {
    ForcePaging(16, 2);
    EXPECT_EQ(Decoder(16, &files_).created, DECODER_NO_MEMORY);
    EXPECT_EQ(OutstandingBlocks(), 0u);
    EXPECT_EQ(LastSpill().openHandles, 0) << "the spill file is closed again";

    DecoderFileCallbacks cannotOpen = files_;
    cannotOpen.open = [](const char*, int, int) { return -1; };
    ForcePaging(16, 3);
    EXPECT_EQ(Decoder(16, &cannotOpen).created, DECODER_NO_MEMORY);
}

}  // namespace
}  // namespace qtest
