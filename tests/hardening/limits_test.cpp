#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::TreeContents;

namespace {

constexpr size_t kLongestStoredName = 255;
// Twice "d/" per level: paths to the bottom are over 5000 bytes long.
constexpr int kDeepLevels = 2600;
constexpr int kFileEvery = 100;
constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int64_t kFileSizeLimit = 1 << 20;

bool NoCabinetAt(const fs::path& path) {
    if (!fs::exists(path)) return true;
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
    return bytes.size() < 4 || !(bytes[0] == 'M' && bytes[1] == 'S' && bytes[2] == 'C' && bytes[3] == 'F');
}

// src/d/d/.../d, kDeepLevels deep, with a file every kFileEvery levels and
// at the bottom, made through directory handles (no path to the bottom fits
// the host's limit). The files by name.
std::map<std::string, std::vector<uint8_t>> MakeDeepTree(const fs::path& src) {
    fs::create_directories(src);
    std::map<std::string, std::vector<uint8_t>> files;
    int dir = open(src.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; dir >= 0; ++level) {
        if (level % kFileEvery == 0 || level == kDeepLevels) {
            const std::string name = "f" + std::to_string(level);
            files[name] = testsupport::TextBytes(1000 + level, level);
            const int file = openat(dir, name.c_str(), O_WRONLY | O_CREAT, 0644);
            EXPECT_EQ(write(file, files[name].data(), files[name].size()), static_cast<ssize_t>(files[name].size()));
            close(file);
        }
        const int next = level < kDeepLevels && mkdirat(dir, "d", 0755) == 0 ? openat(dir, "d", O_RDONLY) : -1;
        close(dir);
        dir = next;
    }
    return files;
}

TEST(Limits, EmptyFilesLongNamesAndDeepPathsRoundTrip) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    testsupport::WriteFileText(src / "empty", "");
    testsupport::WriteFileText(src / "sub" / "also-empty", "");
    // Stored as "abc\" and 251 bytes: the longest name a cabinet stores.
    testsupport::WriteFileBytes(src / "abc" / std::string(kLongestStoredName - 4, 'L'), testsupport::TextBytes(999, 1));
    // 127 levels of "d\" and a one-byte name: 255 bytes again.
    fs::path deep = src;
    for (int i = 0; i < 127; ++i) deep /= "d";
    testsupport::WriteFileBytes(deep / "f", testsupport::RandomBytes(40000, 2));
    testsupport::WriteFileText(deep / "g", "");
    const ToolRun built = ws.Run({"-BATCH", "-NOLOGO", "src", "out.cab"});
    ASSERT_EQ(built.status, 0) << built.out;
    ASSERT_EQ(ws.Run({"-BATCH", "out.cab", "back"}).status, 0);
    EXPECT_EQ(TreeContents(ws.dir() / "back"), TreeContents(src));
}

TEST(Limits, TreesFarBeyondPathMaxBuildFlattenedAndAreRefusedOtherwise) {
    Workspace ws;
    const auto files = MakeDeepTree(ws.dir() / "src");
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "src", "out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.out.starts_with("Name too long to store in a cabinet (more than 255 bytes): d\\d\\")) << run.out;
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(ws.TmpIsEmpty());

    run = ws.Run({"-BATCH", "-NOLOGO", "-F", "-D", "src", "out.cab"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(ws.Run({"-BATCH", "out.cab", "back"}).status, 0);
    EXPECT_EQ(TreeContents(ws.dir() / "back"), files);
    const std::string inWork = "cd " + ws.dir().string() + " && ";
    std::string out;
    ASSERT_EQ(testsupport::RunCommand(inWork + "find src -type f | wc -l", &out), 0);
    EXPECT_EQ(out, "0\n");
    // The scratch directory goes by paths, rm(1) by directory handles.
    testsupport::RunCommand(inWork + "rm -rf src", nullptr);
}

TEST(Limits, SourcesTooLargeForTheFormatAreRefusedBeforeAnythingIsWritten) {
    Workspace ws;
    testsupport::MakeSparseFile(ws.dir() / "big" / "huge.bin", kFourGiB);
    testsupport::WriteFileText(ws.dir() / "big" / "a.txt", "a");
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "-D", "big", "out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "File too large to store in a cabinet (4 GiB or more): big/huge.bin\n");
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(fs::exists(ws.dir() / "big" / "a.txt"));
    EXPECT_TRUE(ws.TmpIsEmpty());

    // Each fits alone, but a folder's positions are 32-bit too.
    testsupport::MakeSparseFile(ws.dir() / "pair" / "one", kFourGiB / 2);
    testsupport::MakeSparseFile(ws.dir() / "pair" / "two", kFourGiB / 2);
    run = ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "-X", "pair", "out.cab"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Files too large together for one folder (4 GiB or more); build without -X\n");
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(ws.TmpIsEmpty());
}

TEST(Limits, FileSizeLimitFailsCleanly) {
    Workspace ws;
    testsupport::WriteFileBytes(ws.dir() / "src" / "random.bin", testsupport::RandomBytes(3u << 20, 4));
    std::string alone;
    for (const char* mode : {"-NOCOMPRESS", "-COMPRESS"}) {
        for (const char* threads : {"1", "4"}) {
            SCOPED_TRACE(testing::Message() << mode << " threads " << threads);
            const ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "-D", mode, "src", "out.cab"},
                                       {.environment = {std::string("TREEPAK_THREADS=") + threads},
                                        .fileSizeLimit = kFileSizeLimit});
            ASSERT_NE(run.status, CHILD_SETUP_FAILED);
            EXPECT_EQ(run.status, 255);
            EXPECT_NE(run.out.find("() failed: code "), std::string::npos) << run.out;
            if (threads[0] == '1') alone = run.out;
            EXPECT_EQ(run.out, alone);
            EXPECT_TRUE(NoCabinetAt(ws.dir() / "out.cab"));
            EXPECT_TRUE(fs::exists(ws.dir() / "src" / "random.bin"));
            EXPECT_TRUE(ws.TmpIsEmpty());
        }
    }
    ASSERT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "src", "out.cab"}).status, 0);
    EXPECT_EQ(ws.Run({"-BATCH", "out.cab", "back"}, {.fileSizeLimit = kFileSizeLimit}).status, 255);
}

}  // namespace

}  // namespace treepak
