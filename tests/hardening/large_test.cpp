#include <gtest/gtest.h>

#include <fstream>

#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxFiles = 0xFFFF;
constexpr int64_t kTwoAndAHalfGiB = (int64_t{5} << 30) / 2;

TEST(Large, MostFilesACabinetCountsBuildInEitherLayout) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    fs::create_directories(src);
    for (int i = 0; i < kMaxFiles; ++i) std::ofstream(src / std::to_string(i)) << i;
    for (const char* layout : {"-X", "-R"}) {  // one folder; a folder per file
        SCOPED_TRACE(layout);
        const ToolRun run = ws.Run({"-BATCH", "-NOCOMPRESS", layout, "src", "out.cab"});
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("Stored 65535 files"), std::string::npos) << run.out;
        EXPECT_TRUE(ws.TmpIsEmpty());
    }
    ASSERT_EQ(ws.Run({"-BATCH", "out.cab", "back"}).status, 0);
    EXPECT_EQ(testsupport::TreeContents(ws.dir() / "back"), testsupport::TreeContents(src));
}

TEST(Large, SourcePastTheLargestCabinetContinuesIntoASecondCabinet) {
    Workspace ws;
    const fs::path big = ws.dir() / "src" / "big.bin";
    // Marks at the start, around the 2 GiB cabinet limit and at the end, so
    // that misplaced blocks show.
    const std::vector<std::pair<int64_t, std::string>> marks = {
        {0, "first"}, {(int64_t{1} << 31) - 3, "across the limit"}, {kTwoAndAHalfGiB - 4, "last"}};
    testsupport::MakeSparseFile(big, kTwoAndAHalfGiB, marks);
    testsupport::WriteFileText(ws.dir() / "src" / "small.txt", "small");
    const ToolRun built = ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "src", "data.CAB"});
    ASSERT_EQ(built.status, 0) << built.out;
    EXPECT_TRUE(ws.TmpIsEmpty());
    ASSERT_TRUE(fs::exists(ws.dir() / "data2.CAB"));
    EXPECT_FALSE(fs::exists(ws.dir() / "data3.CAB"));
    EXPECT_LE(fs::file_size(ws.dir() / "data.CAB"), 0x7FFFFFFFu);
    fs::remove(big);  // room for the copy that comes back

    ASSERT_EQ(ws.Run({"-BATCH", "data.CAB", "back"}).status, 0);
    const fs::path back = ws.dir() / "back" / "big.bin";
    ASSERT_EQ(static_cast<int64_t>(fs::file_size(back)), kTwoAndAHalfGiB);
    const fs::path expected = ws.root.path() / "expected.bin";
    testsupport::MakeSparseFile(expected, kTwoAndAHalfGiB, marks);
    EXPECT_TRUE(testsupport::SameFileBytes(back, expected));
    EXPECT_EQ(testsupport::ReadFileBytes(ws.dir() / "back" / "small.txt").size(), 5u);
}

}  // namespace

}  // namespace treepak
