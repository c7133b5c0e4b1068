// Builds of real trees through the binary, checked with the test-side
// cabinet reader: layout, checksums, folders, names, sizes, dates,
// attributes, contents and the statistics line.
#include <gtest/gtest.h>

#include <map>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

#include "cab_parser.h"
#include "e2e_support.h"
#include "platform/dos_time.h"

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;
using testsupport::WriteFileBytes;

namespace {

ParsedCabinet Parse(const fs::path& path) {
    ParsedCabinet cab;
    std::string reason;
    EXPECT_TRUE(ParseCabinet(testsupport::ReadFileBytes(path), &cab, &reason)) << path << ": " << reason;
    return cab;
}

std::map<std::string, std::vector<uint8_t>> Contents(const ParsedCabinet& cab) {
    std::map<std::string, std::vector<uint8_t>> contents;
    for (const auto& f : cab.files) contents[f.name] = FileContent(cab, f);
    return contents;
}

std::vector<std::string> Names(const ParsedCabinet& cab) {
    std::vector<std::string> names;
    for (const auto& f : cab.files) names.push_back(f.name);
    return names;
}

uint32_t Percent(uint32_t part, uint32_t whole) {
    while (part > 10000000) part >>= 3, whole >>= 3;
    return whole ? part * 100 / whole : 0;
}

std::string StatisticsLine(int files, uint64_t bytes, uint64_t cabinetSize) {
    return "Stored " + std::to_string(files) + " files (" + std::to_string(bytes) + " bytes) in " +
           std::to_string(cabinetSize) + " bytes (" +
           std::to_string(Percent(static_cast<uint32_t>(cabinetSize), static_cast<uint32_t>(bytes))) + "%)\n";
}

// A tree of text files in two levels.
struct TextTree {
    std::map<std::string, std::vector<uint8_t>> files = {
        {"readme.txt", TextBytes(5000, 1)},
        {"docs/guide.txt", TextBytes(70000, 2)},  // more than two blocks
        {"docs/notes/n1.txt", TextBytes(300, 3)},
        {"empty.txt", {}},
        {"data/table.kvf", TextBytes(40000, 4)},
    };
    uint64_t total() const {
        uint64_t sum = 0;
        for (const auto& [name, bytes] : files) sum += bytes.size();
        return sum;
    }
    void Write(const fs::path& root) const {
        for (const auto& [name, bytes] : files) WriteFileBytes(root / name, bytes);
    }
    std::map<std::string, std::vector<uint8_t>> Stored() const {
        std::map<std::string, std::vector<uint8_t>> stored;
        for (const auto& [name, bytes] : files) {
            std::string cabName = name;
            for (char& c : cabName) if (c == '/') c = '\\';
            stored[cabName] = bytes;
        }
        return stored;
    }
};

// The walk order of TextTree: subdirectories first, in byte order.
const std::vector<std::string> kTextTreeOrder = {"data\\table.kvf", "docs\\notes\\n1.txt", "docs\\guide.txt",
                                                 "empty.txt", "readme.txt"};

}  // namespace

TEST(Build, DefaultBuildOneFolderPerFileCompressed) {
    Workspace ws;
    TextTree tree;
    tree.Write(ws.dir() / "src");
    ToolRun run = ws.Run({"-BATCH", "src"});
    ASSERT_EQ(run.status, 0) << run.out;
    fs::path cabPath = ws.dir() / "src.CAB";
    ParsedCabinet cab = Parse(cabPath);
    EXPECT_EQ(run.out, Banner() + "Creating src.CAB from src\\*.*\n\n" +
                           StatisticsLine(5, tree.total(), fs::file_size(cabPath)));
    EXPECT_EQ(cab.header.flags, 0);
    EXPECT_EQ(cab.header.cabinetIndex, 0);
    EXPECT_EQ(Names(cab), kTextTreeOrder);
    ASSERT_EQ(cab.folders.size(), 5u);
    for (size_t i = 0; i < cab.files.size(); ++i) {
        EXPECT_EQ(cab.files[i].entry.folderIndex, i);
        EXPECT_EQ(cab.files[i].entry.folderOffset, 0u);
        EXPECT_EQ(cab.folders[i].entry.compressionType, COMPRESS_DEFLATE);
    }
    EXPECT_EQ(Contents(cab), tree.Stored());
    EXPECT_LT(fs::file_size(cabPath), tree.total() / 2);
    EXPECT_TRUE(ws.TmpIsEmpty());
}

TEST(Build, SingleFolderFlattenAndNoRecursion) {
    Workspace ws;
    TextTree tree;
    tree.Write(ws.dir() / "src");
    ASSERT_EQ(ws.Run({"-BATCH", "-X", "src", "x.cab"}).status, 0);
    ParsedCabinet cab = Parse(ws.dir() / "x.cab");
    ASSERT_EQ(cab.folders.size(), 1u);
    uint32_t offset = 0;
    for (const auto& f : cab.files) {
        EXPECT_EQ(f.entry.folderIndex, 0);
        EXPECT_EQ(f.entry.folderOffset, offset);
        offset += f.entry.fileSize;
    }
    EXPECT_EQ(Contents(cab), tree.Stored());

    ASSERT_EQ(ws.Run({"-BATCH", "-F", "src", "f.cab"}).status, 0);
    cab = Parse(ws.dir() / "f.cab");
    EXPECT_EQ(Names(cab), (std::vector<std::string>{"table.kvf", "n1.txt", "guide.txt", "empty.txt", "readme.txt"}));

    ASSERT_EQ(ws.Run({"-BATCH", "-R-", "src", "r.cab"}).status, 0);
    cab = Parse(ws.dir() / "r.cab");
    EXPECT_EQ(Names(cab), (std::vector<std::string>{"empty.txt", "readme.txt"}));
}

TEST(Build, DatesAndAttributesOfTheSources) {
    Workspace ws;
    WriteFileBytes(ws.dir() / "src" / "ro.txt", TextBytes(100, 5));
    WriteFileBytes(ws.dir() / "src" / "rw.txt", TextBytes(100, 6));
    chmod((ws.dir() / "src" / "ro.txt").c_str(), 0444);
    // 2021-03-04 05:06:08 local time, set through the DOS conversion.
    uint16_t date = ((2021 - 1980) << 9) | (3 << 5) | 4, time = (5 << 11) | (6 << 5) | 4;
    int64_t when = 0;
    ASSERT_TRUE(platform::DosDateTimeToUnixTime(date, time, &when));
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (ws.dir() / "src" / "ro.txt").c_str(), times, 0), 0);

    ASSERT_EQ(ws.Run({"-BATCH", "src"}).status, 0);
    ParsedCabinet cab = Parse(ws.dir() / "src.CAB");
    ASSERT_EQ(cab.files.size(), 2u);
    EXPECT_EQ(cab.files[0].name, "ro.txt");
    EXPECT_EQ(cab.files[0].entry.attributes, FILE_ATTR_READONLY | FILE_ATTR_ARCHIVE);
    EXPECT_EQ(cab.files[0].entry.date, date);
    EXPECT_EQ(cab.files[0].entry.time, time);
    EXPECT_EQ(cab.files[1].entry.attributes, FILE_ATTR_ARCHIVE);
}

TEST(Build, RandomFileForcesASecondPassThatStoresIt) {
    Workspace ws;
    uint64_t seed = 20261205;
    SCOPED_TRACE("seed " + std::to_string(seed));
    WriteFileBytes(ws.dir() / "src" / "noise.bin", RandomBytes(50000, seed));
    WriteFileBytes(ws.dir() / "src" / "text.txt", TextBytes(50000, seed));
    ToolRun run = ws.Run({"-BATCH", "src"});
    ASSERT_EQ(run.status, 0) << run.out;
    fs::path cabPath = ws.dir() / "src.CAB";
    // Two statistics lines: the first pass's cabinet is gone, so only its
    // shape is known; the second describes the cabinet on disk.
    std::string head = Banner() + "Creating src.CAB from src\\*.*\n\n";
    std::string last = "\n" + StatisticsLine(2, 100000, fs::file_size(cabPath));
    ASSERT_TRUE(run.out.starts_with(head)) << run.out;
    ASSERT_TRUE(run.out.ends_with(last)) << run.out;
    std::string first = run.out.substr(head.size(), run.out.size() - head.size() - last.size());
    EXPECT_TRUE(first.starts_with("Stored 2 files (100000 bytes) in ")) << first;
    EXPECT_TRUE(first.ends_with("%)\n")) << first;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
    ParsedCabinet cab = Parse(cabPath);
    ASSERT_EQ(cab.folders.size(), 2u);
    EXPECT_EQ(cab.folders[0].entry.compressionType, COMPRESS_NONE);  // noise.bin
    EXPECT_EQ(cab.folders[1].entry.compressionType, COMPRESS_DEFLATE);
    EXPECT_EQ(FileContent(cab, cab.files[0]), RandomBytes(50000, seed));
    EXPECT_EQ(FileContent(cab, cab.files[1]), TextBytes(50000, seed));
    EXPECT_TRUE(ws.TmpIsEmpty());
}

TEST(Build, CompressionOptions) {
    Workspace ws;
    WriteFileBytes(ws.dir() / "src" / "noise.bin", RandomBytes(40000, 9));
    WriteFileBytes(ws.dir() / "src" / "a.kvf", TextBytes(40000, 10));
    WriteFileBytes(ws.dir() / "src" / "b.txt", TextBytes(40000, 11));

    ToolRun run = ws.Run({"-BATCH", "-NOCOMPRESS", "src", "none.cab"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("Stored"), run.out.rfind("Stored"));  // one pass
    ParsedCabinet cab = Parse(ws.dir() / "none.cab");
    for (const auto& folder : cab.folders) EXPECT_EQ(folder.entry.compressionType, COMPRESS_NONE);

    // KVF files stored, everything else compressed, and no decision: the
    // random file stays compressed.
    run = ws.Run({"-BATCH", "-NOCOMPRESSKVF", "src", "kvf.cab"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find("Stored"), run.out.rfind("Stored"));
    cab = Parse(ws.dir() / "kvf.cab");
    ASSERT_EQ(Names(cab), (std::vector<std::string>{"a.kvf", "b.txt", "noise.bin"}));
    EXPECT_EQ(cab.folders[0].entry.compressionType, COMPRESS_NONE);
    EXPECT_EQ(cab.folders[1].entry.compressionType, COMPRESS_DEFLATE);
    EXPECT_EQ(cab.folders[2].entry.compressionType, COMPRESS_DEFLATE);

    // -COMPRESS after -NOCOMPRESS compresses but keeps the decision off.
    run = ws.Run({"-BATCH", "-NOCOMPRESS", "-COMPRESS", "src", "c.cab"});
    EXPECT_EQ(run.out.find("Stored"), run.out.rfind("Stored"));
    cab = Parse(ws.dir() / "c.cab");
    for (const auto& folder : cab.folders) EXPECT_EQ(folder.entry.compressionType, COMPRESS_DEFLATE);
}

TEST(Build, EmptyTreeAndLogoConditions) {
    Workspace ws;
    fs::create_directories(ws.dir() / "empty");
    ToolRun run = ws.Run({"-BATCH", "empty"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Banner() + "Creating empty.CAB from empty\\*.*\nStored 0 files (0 bytes) in 36 bytes (0%)\n");
    ParsedCabinet cab = Parse(ws.dir() / "empty.CAB");
    EXPECT_EQ(cab.header.cabinetSize, 36u);

    TextTree tree;
    tree.Write(ws.dir() / "src");
    run = ws.Run({"-BATCH", "-NOLOGO", "src"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
}

TEST(Build, DeleteSourceRemovesFilesAndEmptiedDirectories) {
    Workspace ws;
    fs::path src = ws.dir() / "src";
    TextTree tree;
    tree.Write(src);
    WriteFileBytes(src / "only-subdirs" / "inner" / "x.txt", TextBytes(10, 1));
    WriteFileBytes(src / "skipped" / "qrt.ini", TextBytes(10, 1));
    ToolRun run = ws.Run({"-BATCH", "-NOLOGO", "-D", "src", "out.cab"});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(ws.dir() / "out.cab"));
    // Every listed file is gone; directories go when their own last listed
    // file goes, so src (with files of its own) goes too, while a directory
    // holding only a skipped file stays.
    EXPECT_FALSE(fs::exists(src / "readme.txt"));
    EXPECT_FALSE(fs::exists(src / "docs"));
    EXPECT_FALSE(fs::exists(src / "only-subdirs" / "inner"));
    EXPECT_TRUE(fs::exists(src / "only-subdirs"));
    EXPECT_TRUE(fs::exists(src / "skipped" / "qrt.ini"));
    EXPECT_TRUE(fs::exists(src));
    EXPECT_EQ(Names(Parse(ws.dir() / "out.cab")).size(), 6u);
}
