// Folders and data blocks: how files are cut into blocks, when folders
// close, and the reports made on the way.
#include "fci_fixture.h"

using testsupport::ParsedCabinet;
using testsupport::RandomBytes;

namespace {

std::vector<uint16_t> BlockSizes(const testsupport::ParsedFolder& folder) {
    std::vector<uint16_t> sizes;
    for (const auto& b : folder.blocks) sizes.push_back(b.uncompressedSize);
    return sizes;
}

}  // namespace

TEST_F(FciTest, BlocksRunAcrossFileBoundaries) {
    ASSERT_TRUE(Create(Params()));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Add("t" + std::to_string(i), RandomBytes(10000, i)), 1);
    // Nothing is emitted until the folder is finished.
    EXPECT_TRUE(Reports(FCI_STATUS_FILE).empty());
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 1u);
    EXPECT_EQ(BlockSizes(cab.folders[0]), std::vector<uint16_t>{30000});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cab.files[i].folderOffset, 10000u * i);
    auto reports = Reports(FCI_STATUS_FILE);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size1, 30000u);
    EXPECT_EQ(reports[0].size2, 30000u);
}

TEST_F(FciTest, FullBlocksAreEmittedWhileAdding) {
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(Add("exact", RandomBytes(32768, 7)), 1);
    ASSERT_EQ(Reports(FCI_STATUS_FILE).size(), 1u);
    ASSERT_EQ(Add("big", RandomBytes(40000, 8)), 1);
    ASSERT_EQ(Add("next", RandomBytes(30000, 9)), 1);
    ASSERT_EQ(Add("empty", {}), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    EXPECT_EQ(BlockSizes(cab.folders[0]), (std::vector<uint16_t>{32768, 32768, 32768, 4464}));
    EXPECT_EQ(cab.files[1].folderOffset, 32768u);
    EXPECT_EQ(cab.files[2].folderOffset, 72768u);
    EXPECT_EQ(cab.files[3].fileSize, 0u);
    EXPECT_EQ(cab.files[3].folderOffset, 102768u);
}

TEST_F(FciTest, EmptyFileMakesAnEntryAndNoBlock) {
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(Add("empty", {}), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 1u);
    EXPECT_TRUE(cab.folders[0].blocks.empty());
    EXPECT_EQ(cab.files.at(0).fileSize, 0u);
}

TEST_F(FciTest, FolderThresholdCountsOnlyEmittedBlocks) {
    CabParams p = Params();
    p.folderThreshold = 0;
    ASSERT_TRUE(Create(p));
    // 10000-byte files stay together until a block has been emitted (the
    // fourth file), then every file with a full block closes its folder.
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Add("f" + std::to_string(i), RandomBytes(10000, i)), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 2u);
    EXPECT_EQ(BlockSizes(cab.folders[0]), (std::vector<uint16_t>{32768, 7232}));
    EXPECT_EQ(BlockSizes(cab.folders[1]), (std::vector<uint16_t>{20000}));
    const std::vector<uint16_t> expected{0, 0, 0, 0, 1, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(cab.files[i].folderIndex, expected[i]);
    EXPECT_EQ(cab.files[4].folderOffset, 0u);
}

TEST_F(FciTest, ChangeOfTypeWordClosesTheFolder) {
    // Bits 4-7 are not interpreted, but a different word is a different
    // folder all the same.
    const uint16_t other = 0x0010;
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(Add("a", RandomBytes(100, 1), COMPRESS_NONE), 1);
    ASSERT_EQ(Add("b", RandomBytes(100, 2), other), 1);
    ASSERT_EQ(Add("c", RandomBytes(100, 3), COMPRESS_NONE), 1);
    ASSERT_EQ(Add("d", RandomBytes(100, 4), COMPRESS_NONE), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 3u);
    EXPECT_EQ(cab.folders[1].compressionType, other);
    EXPECT_EQ(cab.files[3].folderIndex, 2);
    EXPECT_EQ(cab.files[3].folderOffset, 100u);
}

TEST_F(FciTest, ExplicitFolderFlushesAndEmptyFolders) {
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(fcitest::FlushFolder(context), 1);  // empty: not placed
    ASSERT_EQ(Add("a", RandomBytes(10, 1)), 1);
    ASSERT_EQ(fcitest::FlushFolder(context), 1);
    ASSERT_EQ(fcitest::FlushFolder(context), 1);
    ASSERT_EQ(Add("b", RandomBytes(10, 2)), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    EXPECT_EQ(cab.folderCount, 2);
    EXPECT_EQ(cab.files[1].folderIndex, 1);
    EXPECT_EQ(cab.files[1].folderOffset, 0u);
}

TEST_F(FciTest, KindsWithoutACompressorAreRefused) {
    std::vector<uint16_t> refused{MakeQuantumType(15)};
    for (uint16_t kind = 4; kind <= 14; ++kind) refused.push_back(kind);
    for (uint16_t type : refused) {
        SCOPED_TRACE(type);
        errors = {};
        ASSERT_TRUE(Create(Params()));
        EXPECT_EQ(Add("a", {1, 2, 3}, type), 0);
        EXPECT_EQ(errors.errorCode, FCIERR_COMPRESSION_TYPE);
        EXPECT_EQ(Destroy(), 1);
    }
}

TEST_F(FciTest, LzxWindowBelowTheMinimumFailsAtCreation) {
    ASSERT_TRUE(Create(Params()));
    EXPECT_EQ(Add("a", {1, 2, 3}, MakeLzxType(14)), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_COMPRESS);
    EXPECT_EQ(Destroy(), 1);
}

TEST_F(FciTest, StatusAbortOnFirstBlock) {
    client.statusAbortKind = FCI_STATUS_FILE;
    client.statusAbortAt = 1;
    ASSERT_TRUE(Create(Params()));
    EXPECT_EQ(Add("a", RandomBytes(40000, 1)), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_ABORT);
    EXPECT_EQ(errors.systemError, 0);
    EXPECT_EQ(Destroy(), 1);
}

TEST_F(FciTest, MissingSourceReportsOpenFailure) {
    ASSERT_TRUE(Create(Params()));
    EXPECT_EQ(fcitest::AddFile(context, &client, scratch.str() + "/nope", "nope", COMPRESS_NONE), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_OPEN_SOURCE);
    EXPECT_EQ(errors.systemError, ENOENT);
    EXPECT_EQ(Destroy(), 1);
}

TEST_F(FciTest, SourceReadFailureClosesTheSource) {
    ASSERT_TRUE(Create(Params()));
    client.failAt[fcitest::OP_READ] = client.calls[fcitest::OP_READ] + 2;
    EXPECT_EQ(Add("a", RandomBytes(50000, 1)), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_READ_SOURCE);
    EXPECT_EQ(errors.systemError, EIO);
    EXPECT_EQ(Destroy(), 1);  // the fixture checks that no handle stays open
}
