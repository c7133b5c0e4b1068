#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "app/build_callbacks.h"
#include "app/build_names.h"
#include "app/build_report.h"
#include "app/cab_params.h"
#include "app/options.h"
#include "test_support.h"

namespace fs = std::filesystem;

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
    EXPECT_EQ(FCIGetNextCabinet(&next, 0, &totals), 1);
    EXPECT_STREQ(next.cabinetName, "pack3.cab");
    EXPECT_STREQ(next.cabinetPath, "dir/");
    EXPECT_EQ(totals.lastCabinetNumber, 3);
}

TEST(StoredNames, RelativeToTheSourceWithBackslashes) {
    EXPECT_EQ(StoredNameFor("data/sub/a.kvf", "data", false), "sub\\a.kvf");
    EXPECT_EQ(StoredNameFor("data/a.txt", "data/", false), "a.txt");
    EXPECT_EQ(StoredNameFor("/a.txt", "/", false), "a.txt");
    EXPECT_EQ(StoredNameFor("./x/y/z", ".", false), "x\\y\\z");
    EXPECT_EQ(StoredNameFor("data/sub/a.txt", "data", true), "a.txt");
}

TEST(StoredNames, RefusesWhatACabinetCannotHold) {
    testing::internal::CaptureStdout();
    std::vector<std::string> paths = {"src/" + std::string(255, 'n')};
    EXPECT_TRUE(CheckBuildFits(1, paths.data(), "src", "out.cab", false));
    paths.push_back("src/" + std::string(256, 'm'));
    EXPECT_FALSE(CheckBuildFits(2, paths.data(), "src", "out.cab", false));
    EXPECT_FALSE(CheckBuildFits(1, paths.data() + 1, "src", "out.cab", false));
    EXPECT_FALSE(CheckBuildFits(1, paths.data(), "src", std::string(256, 'c'), false));
    EXPECT_FALSE(CheckBuildFits(BUILD_MAX_FILES + 1, paths.data(), "src", "out.cab", false));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Name too long to store in a cabinet (more than 255 bytes): " + std::string(256, 'm') + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("Too many files for one cabinet: 65536 (at most 65535)\n"), std::string::npos);
    EXPECT_NE(out.find("Cabinet name or directory too long"), std::string::npos);
}

TEST(BuildCallbacks, StatusCountsTotalsWhateverTheOptions) {
    BuildClientTotals totals{0, 0, "x.cab", 1};
    Options.verbose = false;
    EXPECT_EQ(FCIStatus(FCI_STATUS_FILE, 100, 32768, &totals), 0);
    EXPECT_EQ(FCIStatus(FCI_STATUS_FILE, 50, 1000, &totals), 0);
    EXPECT_EQ(FCIStatus(FCI_STATUS_FOLDER, 5, 10, &totals), 0);
    EXPECT_EQ(FCIStatus(FCI_STATUS_CABINET, 5, 10, &totals), 0);
    EXPECT_EQ(totals.compressedTotal, 150u);
    EXPECT_EQ(totals.uncompressedTotal, 33768u);

    Options.verbose = true;
    testing::internal::CaptureStdout();
    FCIStatus(FCI_STATUS_FILE, 1, 2, &totals);
    FCIStatus(FCI_STATUS_FOLDER, 400000, 1000000, &totals);
    CabParams params;
    FillCabParams(&params, "p.cab");
    FCIFilePlaced(&params, "sub\\a.txt", 77, 1, &totals);
    Options.verbose = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "   Compressing:     33770 ->       151             \r"
              "Copying folder to cabinet: 40%      \r"
              "   placed file 'sub\\a.txt' (size 77) on cabinet 'p.cab'\n"
              "      (Above file is a later segment of a continued file)\n");
}

TEST(BuildCallbacks, TempNamesHonourTheBufferSize) {
    testsupport::ScratchDir tmp;
    setenv("TMP", tmp.str().c_str(), 1);
    char buffer[FCI_NAME_SIZE];
    ASSERT_EQ(FCIGetTempFile(buffer, sizeof buffer, nullptr), 1);
    std::string name = buffer;
    EXPECT_EQ(fs::path(name).parent_path(), tmp.path());
    EXPECT_EQ(fs::path(name).filename().string().substr(0, 2), "xx");
    // The generated names all have one length: exactly length + 1 fits,
    // one byte less does not.
    const int32_t exact = static_cast<int32_t>(name.size()) + 1;
    EXPECT_EQ(FCIGetTempFile(buffer, exact, nullptr), 1);
    EXPECT_EQ(FCIGetTempFile(buffer, exact - 1, nullptr), 0);
    unsetenv("TMP");
}

TEST(BuildCallbacks, OpenInfoReportsReadOnlyAndArchiveAndLeavesTheErrorAlone) {
    testsupport::ScratchDir dir;
    fs::path file = dir.path() / "ro.txt";
    testsupport::WriteFileText(file, "abc");
    chmod(file.c_str(), 0444);
    uint16_t date = 0, time = 0, attributes = 0xFFFF;
    int32_t error = 1234;
    BuildClientTotals totals{0, 0, "x.cab", 1};
    int32_t handle = FCIGetOpenInfo(file.c_str(), &date, &time, &attributes, &error, &totals);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(attributes, 0x21);
    EXPECT_EQ(FCIClose(handle, &error, nullptr), 0);
    // A name with bytes of 0x80 or more adds the UTF-8 name bit, nothing else.
    totals.storedNameIsUtf8 = true;
    handle = FCIGetOpenInfo(file.c_str(), &date, &time, &attributes, &error, &totals);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(attributes, 0xA1);
    EXPECT_EQ(FCIClose(handle, &error, nullptr), 0);
    EXPECT_EQ(FCIGetOpenInfo((dir.path() / "gone").c_str(), &date, &time, &attributes, &error, &totals), -1);
    EXPECT_EQ(FCIGetOpenInfo(dir.str().c_str(), &date, &time, &attributes, &error, &totals), -1);
    EXPECT_EQ(error, 1234);
}
