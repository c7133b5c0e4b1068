#include <gtest/gtest.h>

#include "app/build/build_callbacks.h"
#include "app/build/build_names.h"
#include "app/build/build_report.h"
#include "app/build/cab_params.h"
#include "app/cli/options.h"

namespace treepak {

TEST(BuildReport, PercentOfScalesLargePartsAndGuardsZero) {
    EXPECT_EQ(PercentOf(20000000, 40000000), 50u);  // both scaled once by 8
    EXPECT_EQ(PercentOf(5, 0), 0u);
    EXPECT_EQ(PercentOf(10000000, 9999999), 100u);  // at the limit, no scaling, no overflow
    EXPECT_EQ(PercentOf(0xFFFFFFFFu, 0xFFFFFFFFu), 100u);
    EXPECT_EQ(PercentOf(80000000, 7), 0u);  // only part is tested, so a small whole scales to 0
}

TEST(CabParamsTest, ContinuationCabinetNames) {
    EXPECT_EQ(NextCabinetName("data.CAB", 12), "data12.CAB");
    EXPECT_EQ(NextCabinetName("a.b.cab", 3), "a.b3.cab");
    EXPECT_EQ(NextCabinetName("noext", 2), "noext2");

    BuildClientTotals totals{0, 0, "pack.cab", 1};
    CabParams next;
    FillCabParams(&next, "dir/pack.cab");
    next.cabinetNumber = 3;
    EXPECT_EQ(BuildGetNextCabinet(&next, 0, &totals), 1);
    EXPECT_STREQ(next.cabinetName, "pack3.cab");
    EXPECT_STREQ(next.cabinetPath, "dir/");
    EXPECT_EQ(totals.lastCabinetNumber, 3);
}

TEST(StoredNames, RelativeToTheSourceWithBackslashes) {
    EXPECT_EQ(StoredNameFor("/a.txt", "/", false), "a.txt");
    EXPECT_EQ(StoredNameFor("./x/y/z", ".", false), "x\\y\\z");
    EXPECT_EQ(StoredNameFor("data/sub/a.txt", "data", true), "a.txt");
}

TEST(BuildCallbacks, StatusCountsTotalsWhateverTheOptions) {
    BuildClientTotals totals{0, 0, "x.cab", 1};
    Options.verbose = false;
    EXPECT_EQ(BuildStatus(FCI_STATUS_FILE, 100, 32768, &totals), 0);
    EXPECT_EQ(BuildStatus(FCI_STATUS_FILE, 50, 1000, &totals), 0);
    EXPECT_EQ(BuildStatus(FCI_STATUS_FOLDER, 5, 10, &totals), 0);
    EXPECT_EQ(BuildStatus(FCI_STATUS_CABINET, 5, 10, &totals), 0);
    EXPECT_EQ(totals.compressedTotal, 150u);
    EXPECT_EQ(totals.uncompressedTotal, 33768u);

    Options.verbose = true;
    testing::internal::CaptureStdout();
    BuildStatus(FCI_STATUS_FILE, 1, 2, &totals);
    BuildStatus(FCI_STATUS_FOLDER, 400000, 1000000, &totals);
    CabParams params;
    FillCabParams(&params, "p.cab");
    BuildFilePlaced(&params, "sub\\a.txt", 77, 1, &totals);
    Options.verbose = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   Compressing:     33770 ->       151             \r"
              "Copying folder to cabinet: 40%      \r"
              "   placed file 'sub\\a.txt' (size 77) on cabinet 'p.cab'\n"
              "      (Above file is a later segment of a continued file)\n");
}

}  // namespace treepak
