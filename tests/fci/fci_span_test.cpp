// Spanning: folders cut across cabinets, split blocks, continuation
// indices, prev/next names, size limits and their adjustment.
#include "fci_fixture.h"

using testsupport::ParsedCabinet;
using testsupport::RandomBytes;

namespace {

bool EndsWithSplitBlock(const ParsedCabinet& cab) {
    return !cab.folders.empty() && !cab.folders.back().blocks.empty() &&
           cab.folders.back().blocks.back().uncompressedSize == 0;
}

}  // namespace

TEST_F(FciTest, TwoCabinetsWithASplitBlock) {
    CabParams p = Params();
    p.maxCabinetSize = 40000;
    ASSERT_TRUE(Create(p));
    ASSERT_EQ(Add("a", RandomBytes(30000, 1)), 1);
    ASSERT_EQ(Add("b", RandomBytes(30000, 2)), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);

    auto set = ParseSet({"out.cab", "cab2.cab"});
    const ParsedCabinet& first = set[0];
    const ParsedCabinet& second = set[1];
    EXPECT_EQ(first.nextDisk, "DISK2");
    EXPECT_EQ(second.prevCabinet, "out.cab");
    EXPECT_EQ(second.prevDisk, "DISK1");
    // The first cabinet ends with the first piece of a cut block and is
    // exactly as large as allowed.
    EXPECT_EQ(first.cabinetSize, 40000u);
    ASSERT_TRUE(EndsWithSplitBlock(first));
    EXPECT_EQ(first.files.at(1).folderIndex, FOLDER_CONTINUED_TO_NEXT);
    EXPECT_EQ(second.files.at(0).folderIndex, FOLDER_CONTINUED_FROM_PREV);

    // "b" is placed twice, the second time as a continuation.
    ASSERT_EQ(client.placed.size(), 3u);
    EXPECT_EQ(client.placed[1].continuation, 0);
    EXPECT_EQ(client.placed[2].name, "b");
    EXPECT_EQ(client.placed[2].continuation, 1);
    EXPECT_EQ(client.placed[2].cabinetNumber, 2);

    // The estimate excludes the next cabinet's names: entries 2 * 18,
    // header 36, one folder 8, two records 32776 + 27240.
    ASSERT_EQ(client.nexts.size(), 1u);
    EXPECT_EQ(client.nexts[0].cabinetNumber, 2);
    EXPECT_EQ(client.nexts[0].estimate, 36u + 36 + 8 + 32776 + 27240);
    auto reports = Reports(FCI_STATUS_CABINET);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].size1, client.nexts[0].estimate);
    EXPECT_EQ(reports[0].size2, 40000u);
}

TEST_F(FciTest, NextCabinetLimitDependsOnItsDisk) {
    for (bool newDisk : {false, true}) {
        SCOPED_TRACE(newDisk);
        client.cabinetStatusResult = 100;
        client.nextMaxCabinetSize = 30000;
        client.newDiskEachCabinet = newDisk;
        CabParams p = Params();
        p.maxCabinetSize = 40000;
        ASSERT_TRUE(Create(p));
        ASSERT_EQ(Add("big", RandomBytes(80000, 5)), 1);
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        ASSERT_EQ(Destroy(), 1);
        // On the same disk the lowered limit (39900) replaces the client's
        // 30000; on a new disk the client's limit stands.
        auto set = ParseSet({"out.cab", "cab2.cab", "cab3.cab"});
        EXPECT_EQ(set[1].cabinetSize, newDisk ? 30000u : 39900u);
        client.nexts.clear();
    }
}

TEST_F(FciTest, LimitTooSmallForAnyBlockFailsCleanly) {
    for (uint32_t limit : {1u, 60u, 90u}) {
        SCOPED_TRACE(limit);
        CabParams p = Params();
        p.maxCabinetSize = limit;
        ASSERT_TRUE(Create(p));
        // The add itself may already close the folder and fail.
        EXPECT_FALSE(Add("f", RandomBytes(1000, 7)) == 1 && fcitest::FlushCabinet(context) == 1);
        EXPECT_EQ(errors.errorCode, FCIERR_CABINET_FILE);
        EXPECT_EQ(Destroy(), 1);
        // With 90 bytes the first cabinet takes a few data bytes, and the
        // second, which also carries the previous names, none.
        EXPECT_EQ(std::filesystem::exists(scratch.path() / "out.cab"), limit == 90);
        EXPECT_FALSE(std::filesystem::exists(scratch.path() / "cab2.cab"));
        if (limit == 90) Parse("out.cab");
    }
}

TEST_F(FciTest, ClientRefusingTheNextCabinetEndsTheSet) {
    struct Case {
        bool abortNext, abortPlaced, noName;
        int32_t code;
    };
    for (const Case& c : {Case{true, false, false, FCIERR_ABORT}, Case{false, true, false, FCIERR_ABORT},
                          Case{false, false, true, FCIERR_CABINET_FILE}}) {
        client.abortNext = c.abortNext;
        client.abortPlaced = c.abortPlaced;
        client.nextPattern = c.noName ? "" : "cab%d.cab";
        CabParams p = Params();
        p.maxCabinetSize = 20000;
        ASSERT_TRUE(Create(p));
        ASSERT_EQ(Add("f", RandomBytes(30000, 8)), 1);
        EXPECT_EQ(fcitest::FlushCabinet(context), 0);
        EXPECT_EQ(errors.errorCode, c.code);
        EXPECT_EQ(Destroy(), 1);
        EXPECT_FALSE(std::filesystem::exists(scratch.path() / "out.cab"));
    }
}

TEST_F(FciTest, FolderThatCannotStartInAFullCabinetMovesOn) {
    CabParams p = Params();
    p.maxCabinetSize = 10000;
    ASSERT_TRUE(Create(p));
    ASSERT_EQ(Add("a", RandomBytes(9900, 1)), 1);
    ASSERT_EQ(fcitest::FlushFolder(context), 1);
    ASSERT_EQ(Add("b", RandomBytes(5000, 2)), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    auto set = ParseSet({"out.cab", "cab2.cab"});
    // No empty folder record and no entry for "b" in the first cabinet.
    EXPECT_EQ(set[0].folderCount, 1);
    EXPECT_EQ(set[0].fileCount, 1);
    EXPECT_EQ(set[1].files.at(0).folderIndex, 0);
    ASSERT_EQ(client.placed.size(), 2u);
    EXPECT_EQ(client.placed[1].continuation, 0);
}
