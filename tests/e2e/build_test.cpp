// Builds of real trees through the binary, checked with the test-side
// cabinet reader: folders, names, compression kinds, contents and the
// statistics line.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "cab_parser.h"
#include "cabinet/format.h"
#include "e2e_support.h"

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;
using testsupport::WriteFileBytes;
using Names = std::vector<std::string>;

namespace {

struct Cabinet {
    testsupport::ParsedCabinet parsed;
    std::map<std::string, std::vector<uint8_t>> files;
    Names names;
    std::vector<uint16_t> kinds;  // per folder
};

Cabinet Read(const fs::path& path) {
    Cabinet cab;
    EXPECT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(path), &cab.parsed), "") << path;
    EXPECT_EQ(testsupport::ExtractSet({cab.parsed}, &cab.files), "") << path;
    for (const auto& f : cab.parsed.files) cab.names.push_back(f.name);
    for (const auto& f : cab.parsed.folders) cab.kinds.push_back(f.compressionType);
    return cab;
}

// The tree is small enough that the percentage needs no scaling.
std::string StatisticsLine(int files, uint64_t bytes, uint64_t cabinetSize) {
    return "Stored " + std::to_string(files) + " files (" + std::to_string(bytes) + " bytes) in " +
           std::to_string(cabinetSize) + " bytes (" + std::to_string(bytes ? cabinetSize * 100 / bytes : 0) + "%)\n";
}

// Text files in three levels, by stored name; one is larger than two blocks.
const std::map<std::string, std::vector<uint8_t>> kTree = {
    {"readme.txt", TextBytes(5000, 1)}, {"docs\\guide.txt", TextBytes(70000, 2)},
    {"docs\\notes\\n1.txt", TextBytes(300, 3)}, {"empty.txt", {}}, {"data\\table.kvf", TextBytes(40000, 4)}};
constexpr uint64_t kTreeBytes = 115300;

void WriteTree(const fs::path& root) {
    for (const auto& [name, bytes] : kTree) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        WriteFileBytes(root / path, bytes);
    }
}

}  // namespace

TEST(Build, TreeLayoutUnderEachOption) {
    Workspace ws;
    WriteTree(ws.dir() / "src");
    ToolRun run = ws.Run({"-BATCH", "src"});
    ASSERT_EQ(run.status, 0) << run.out;
    const fs::path cabPath = ws.dir() / "src.CAB";
    EXPECT_EQ(run.out, Banner() + "Creating src.CAB from src\\*.*\n\n" +
                           StatisticsLine(5, kTreeBytes, fs::file_size(cabPath)));
    EXPECT_LT(fs::file_size(cabPath), kTreeBytes / 2);
    EXPECT_TRUE(ws.TmpIsEmpty());
    Cabinet cab = Read(cabPath);
    // Subdirectories first, each level in byte order; one folder per file.
    EXPECT_EQ(cab.names, (Names{"data\\table.kvf", "docs\\notes\\n1.txt", "docs\\guide.txt", "empty.txt",
                                "readme.txt"}));
    EXPECT_EQ(cab.kinds, std::vector<uint16_t>(5, COMPRESS_DEFLATE));
    EXPECT_EQ(cab.files, kTree);

    struct Case {
        const char* option;
        Names names;
        size_t folders;
    };
    for (const Case& c : {Case{"-X", cab.names, 1},
                          Case{"-F", {"table.kvf", "n1.txt", "guide.txt", "empty.txt", "readme.txt"}, 5},
                          Case{"-R-", {"empty.txt", "readme.txt"}, 2}}) {
        SCOPED_TRACE(c.option);
        ASSERT_EQ(ws.Run({"-BATCH", c.option, "src", "x.cab"}).status, 0);
        Cabinet other = Read(ws.dir() / "x.cab");
        EXPECT_EQ(other.names, c.names);
        EXPECT_EQ(other.kinds.size(), c.folders);
        if (c.folders == 1) {
            EXPECT_EQ(other.files, kTree);
        }
    }
}

TEST(Build, CompressionOptionsMakeOnePass) {
    Workspace ws;
    WriteFileBytes(ws.dir() / "src" / "noise.bin", RandomBytes(40000, 9));
    WriteFileBytes(ws.dir() / "src" / "a.kvf", TextBytes(40000, 10));
    WriteFileBytes(ws.dir() / "src" / "b.txt", TextBytes(40000, 11));
    constexpr uint16_t kNone = COMPRESS_NONE, kDeflate = COMPRESS_DEFLATE;
    struct Case {
        std::vector<std::string> options;
        std::vector<uint16_t> kinds;  // a.kvf, b.txt, noise.bin
    };
    // Without the automatic decision even the random file stays compressed.
    for (const Case& c : {Case{{"-NOCOMPRESS"}, {kNone, kNone, kNone}},
                          Case{{"-NOCOMPRESSKVF"}, {kNone, kDeflate, kDeflate}},
                          Case{{"-NOCOMPRESS", "-COMPRESS"}, {kDeflate, kDeflate, kDeflate}}}) {
        SCOPED_TRACE(c.options.back());
        std::vector<std::string> args = {"-BATCH"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"src", "x.cab"});
        ToolRun run = ws.Run(args);
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(run.out.find("Stored"), run.out.rfind("Stored"));
        Cabinet cab = Read(ws.dir() / "x.cab");
        EXPECT_EQ(cab.names, (Names{"a.kvf", "b.txt", "noise.bin"}));
        EXPECT_EQ(cab.kinds, c.kinds);
    }
}

TEST(Build, RandomFileForcesASecondPassThatStoresIt) {
    Workspace ws;
    const uint64_t seed = 20261205;
    SCOPED_TRACE("seed " + std::to_string(seed));
    WriteFileBytes(ws.dir() / "src" / "noise.bin", RandomBytes(50000, seed));
    WriteFileBytes(ws.dir() / "src" / "text.txt", TextBytes(50000, seed));
    ToolRun run = ws.Run({"-BATCH", "src"});
    ASSERT_EQ(run.status, 0) << run.out;
    // Two statistics lines: the first pass's cabinet is gone, so only its
    // shape is known; the second describes the cabinet on disk.
    const std::string head = Banner() + "Creating src.CAB from src\\*.*\n\n";
    const std::string last = "\n" + StatisticsLine(2, 100000, fs::file_size(ws.dir() / "src.CAB"));
    ASSERT_TRUE(run.out.starts_with(head) && run.out.ends_with(last)) << run.out;
    const std::string first = run.out.substr(head.size(), run.out.size() - head.size() - last.size());
    EXPECT_TRUE(first.starts_with("Stored 2 files (100000 bytes) in ") && first.ends_with("%)\n")) << first;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
    Cabinet cab = Read(ws.dir() / "src.CAB");
    EXPECT_EQ(cab.kinds, (std::vector<uint16_t>{COMPRESS_NONE, COMPRESS_DEFLATE}));
    EXPECT_EQ(cab.files["noise.bin"], RandomBytes(50000, seed));
    EXPECT_TRUE(ws.TmpIsEmpty());
}

TEST(Build, EmptyTree) {
    Workspace ws;
    fs::create_directories(ws.dir() / "empty");
    ToolRun run = ws.Run({"-BATCH", "empty"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Banner() + "Creating empty.CAB from empty\\*.*\nStored 0 files (0 bytes) in 36 bytes (0%)\n");
    EXPECT_EQ(Read(ws.dir() / "empty.CAB").parsed.cabinetSize, 36u);
}

TEST(Build, DeleteSourceRemovesFilesAndEmptiedDirectories) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    WriteTree(src);
    WriteFileBytes(src / "only-subdirs" / "inner" / "x.txt", TextBytes(10, 1));
    WriteFileBytes(src / "skipped" / "qrt.ini", TextBytes(10, 1));
    ASSERT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-D", "src", "out.cab"}).status, 0);
    EXPECT_EQ(Read(ws.dir() / "out.cab").names.size(), 6u);
    // Every listed file is gone; a directory goes when its own last listed
    // file goes, so one holding only a skipped file, or only subdirectories,
    // stays.
    EXPECT_FALSE(fs::exists(src / "readme.txt"));
    EXPECT_FALSE(fs::exists(src / "docs"));
    EXPECT_FALSE(fs::exists(src / "only-subdirs" / "inner"));
    EXPECT_TRUE(fs::exists(src / "only-subdirs"));
    EXPECT_TRUE(fs::exists(src / "skipped" / "qrt.ini"));
}
