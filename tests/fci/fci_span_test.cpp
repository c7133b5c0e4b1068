#include "fci_fixture.h"

namespace treepak {

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
    // The first cabinet ends with the first piece of a cut block and is
    // exactly as large as allowed.
    EXPECT_EQ(set[0].cabinetSize, 40000u);
    EXPECT_TRUE(EndsWithSplitBlock(set[0]));
    EXPECT_EQ(set[1].prevCabinet + set[1].prevDisk + set[0].nextDisk, "out.cabDISK1DISK2");
    // "b" is placed twice, the second time as a continuation.
    ASSERT_EQ(client.placed.size(), 3u);
    EXPECT_EQ(client.placed[2].name + std::to_string(client.placed[2].continuation), "b1");
    // The estimate excludes the next cabinet's names: entries 2 * 18,
    // header 36, one folder 8, two records 32776 + 27240.
    ASSERT_EQ(client.nexts.size(), 1u);
    EXPECT_EQ(client.nexts[0].estimate, 36u + 36 + 8 + 32776 + 27240);
    EXPECT_EQ(Reports(FCI_STATUS_CABINET).at(0).size1, client.nexts[0].estimate);
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

// A limit too small for any block, or a client refusing the next cabinet,
// ends the set with an error and no unfinished cabinet. With a limit of 90
// the first cabinet takes a few data bytes and is finished, and the second,
// which also carries the previous names, takes none.
TEST_F(FciTest, SetsThatCannotGoOnFailCleanly) {
    struct Case {
        uint32_t limit;
        bool abortNext, abortPlaced, noName;
        int32_t code;
    };
    for (const Case& c : {Case{1, false, false, false, FCIERR_CABINET_FILE}, Case{60, false, false, false, FCIERR_CABINET_FILE},
                          Case{90, false, false, false, FCIERR_CABINET_FILE}, Case{20000, true, false, false, FCIERR_ABORT},
                          Case{20000, false, true, false, FCIERR_ABORT}, Case{20000, false, false, true, FCIERR_CABINET_FILE}}) {
        SCOPED_TRACE(testing::Message() << c.limit << c.abortNext << c.abortPlaced << c.noName);
        client.abortNext = c.abortNext;
        client.abortPlaced = c.abortPlaced;
        client.nextPattern = c.noName ? "" : "cab%d.cab";
        CabParams p = Params();
        p.maxCabinetSize = c.limit;
        ASSERT_TRUE(Create(p));
        // The add itself may already close the folder and fail.
        EXPECT_FALSE(Add("f", RandomBytes(30000, 7)) == 1 && fcitest::FlushCabinet(context) == 1);
        EXPECT_EQ(errors.errorCode, c.code);
        EXPECT_EQ(Destroy(), 1);
        EXPECT_EQ(std::filesystem::exists(scratch.path() / "out.cab"), c.limit == 90);
        EXPECT_FALSE(std::filesystem::exists(scratch.path() / "cab2.cab"));
        if (c.limit == 90) {
            Parse("out.cab");
            std::filesystem::remove(scratch.path() / "out.cab");
        }
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

}  // namespace treepak
