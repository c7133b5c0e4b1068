// Every committed folder decodes to its recorded output, in memory and in
// the paged window: used when the client's allocator refuses the window in
// one piece, it spills 4096-byte pages to a file opened through the open
// callback and must give exactly the bytes the memory window gives.
#include <gtest/gtest.h>

#include <cstring>

#include "quantum_test_support.h"
#include "test_support.h"

namespace treepak {

namespace qtest {
namespace {

constexpr uint32_t HANDLE_AND_PAGE_TABLE = 2;  // allocations besides the page buffers

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
    DecoderFileCallbacks files_ = SpillFiles();
};

TEST_F(PagedWindowTest, CommittedFoldersDecodeAlikeInMemoryAndPaged) {
    for (size_t i = 0; i < kStreamCount; ++i) {
        const CommittedStream& stream = kStreams[i];
        SCOPED_TRACE(stream.name);
        const std::vector<EncodedBlock> blocks = LoadStream(stream.name);
        const DecodeRun inMemory = DecodeFolder(stream.windowBits, blocks);
        ASSERT_EQ(inMemory.result, DECODER_OK) << "block " << inMemory.failedBlock;
        EXPECT_EQ(testsupport::HashHex(inMemory.output), stream.hash);
        // The edge folders start with matches before the first byte, which
        // only the memory window answers (with zeros).
        if (std::string(stream.name).starts_with("edges")) continue;

        const uint32_t buffers = 3 + i % 3;
        ForcePaging(stream.windowBits, buffers);
        {
            Decoder paged(stream.windowBits, &files_);
            ASSERT_EQ(paged.created, DECODER_OK);
            // The spill file's name is "*", its NUL and the window size.
            const uint32_t window = uint32_t{1} << stream.windowBits;
            uint8_t expectedName[6] = {'*', 0};
            std::memcpy(expectedName + 2, &window, 4);  // little-endian host
            EXPECT_EQ(LastSpill().nameBytes, std::vector<uint8_t>(expectedName, expectedName + 6));
            EXPECT_EQ(LastSpill().flags, 0x8102);
            EXPECT_EQ(LastSpill().mode, 0x0180);
            for (int pass = 0; pass < 2; ++pass) {  // a reset forgets every page
                const DecodeRun run = paged.DecodeAll(blocks);
                ASSERT_EQ(run.result, DECODER_OK) << "block " << run.failedBlock;
                EXPECT_TRUE(run.output == inMemory.output);
                ASSERT_EQ(QdiReset(paged.handle), DECODER_OK);
            }
            if (window / 4096 > buffers) {
                EXPECT_GT(LastSpill().writes, 0u);
                EXPECT_GT(LastSpill().reads, 0u);
            }
        }
        AllowAllAllocation();
    }
}

// A literal and a match of 5 at distance 20000, which reaches back into
// page 11 before any byte was there (window 2^16).
TEST_F(PagedWindowTest, MatchIntoANeverWrittenPageFailsWhereMemoryGivesZeros) {
    const std::vector<EncodedBlock> blocks = {{{0xBA, 0xE4, 0x31, 0x00, 0x01, 0xC3, 0xE0}, 6}};
    const DecodeRun inMemory = DecodeFolder(16, blocks);
    ASSERT_EQ(inMemory.result, DECODER_OK);
    EXPECT_EQ(inMemory.output, (std::vector<uint8_t>{'x', 0, 0, 0, 0, 0}));

    ForcePaging(16, 3);
    Decoder paged(16, &files_);
    ASSERT_EQ(paged.created, DECODER_OK);
    EXPECT_EQ(paged.DecodeAll(blocks).result, DECODER_DATA_ERROR);
}

TEST_F(PagedWindowTest, SpillFailureEndsTheBlockAndStaysUntilReset) {
    const auto blocks = LoadStream("mixed16");
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
    EXPECT_EQ(paged.DecodeAll(blocks).result, DECODER_OK);
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

}  // namespace treepak
