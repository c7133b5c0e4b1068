#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "cab_parser.h"
#include "cabinet/format.h"
#include "tool_run.h"

namespace treepak {

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

const std::map<std::string, std::vector<uint8_t>> kTree = {
    {"readme.txt", TextBytes(5000, 1)}, {"docs\\guide.txt", TextBytes(70000, 2)},
    {"docs\\notes\\n1.txt", TextBytes(300, 3)}, {"empty.txt", {}}, {"data\\table.kvf", TextBytes(40000, 4)},
    {"noise.bin", RandomBytes(40000, 9)}};
constexpr uint64_t kTreeBytes = 155300;

void WriteTree(const fs::path& root) {
    for (const auto& [name, bytes] : kTree) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        WriteFileBytes(root / path, bytes);
    }
}

}  // namespace

// The default build: the random file forces a second pass that stores it,
// so two statistics lines: the first pass's cabinet is gone, so only its
// shape is known; the second describes the cabinet on disk. The options
// change names, folders and kinds, and without the automatic decision
// there is one pass and even the random file stays compressed.
TEST(Build, TreeUnderEachOption) {
    Workspace ws;
    WriteTree(ws.dir() / "src");
    ToolRun run = ws.Run({"-BATCH", "src"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string head = Banner() + "Creating src.CAB from src\\*.*\n\n";
    const std::string last = "\n" + StatisticsLine(6, kTreeBytes, fs::file_size(ws.dir() / "src.CAB"));
    ASSERT_TRUE(run.out.starts_with(head) && run.out.ends_with(last)) << run.out;
    const std::string first = run.out.substr(head.size(), run.out.size() - head.size() - last.size());
    EXPECT_TRUE(first.starts_with("Stored 6 files (155300 bytes) in ") && first.ends_with("%)\n")) << first;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
    EXPECT_TRUE(ws.TmpIsEmpty());

    constexpr uint16_t N = COMPRESS_NONE, D = COMPRESS_DEFLATE;
    const Names names = {"data\\table.kvf", "docs\\notes\\n1.txt", "docs\\guide.txt", "empty.txt", "noise.bin", "readme.txt"};
    struct Case {
        std::vector<std::string> options;
        Names names;
        std::vector<uint16_t> kinds;  // per folder
    };
    // Subdirectories first, each level in byte order; one folder per file.
    // Each file is judged on its own folder's blocks: only noise.bin is
    // stored, readme.txt after it stays compressed. Under -X every file
    // stays compressed.
    for (const Case& c : {Case{{}, names, {D, D, D, D, N, D}},
                          Case{{"-X"}, names, {D}},
                          Case{{"-F"}, {"table.kvf", "n1.txt", "guide.txt", "empty.txt", "noise.bin", "readme.txt"}, {D, D, D, D, N, D}},
                          Case{{"-R-"}, {"empty.txt", "noise.bin", "readme.txt"}, {D, N, D}},
                          Case{{"-NOCOMPRESS"}, names, {N, N, N, N, N, N}},
                          Case{{"-NOCOMPRESSKVF"}, names, {N, D, D, D, D, D}},
                          Case{{"-NOCOMPRESS", "-COMPRESS"}, names, {D, D, D, D, D, D}}}) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        std::vector<std::string> args = {"-BATCH"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"src", "x.cab"});
        run = ws.Run(args);
        ASSERT_EQ(run.status, 0);
        if (c.options.size() > 0 && c.options[0].starts_with("-NO")) {
            EXPECT_EQ(run.out.find("Stored"), run.out.rfind("Stored"));
        }
        Cabinet cab = Read(ws.dir() / "x.cab");
        EXPECT_EQ(cab.names, c.names);
        EXPECT_EQ(cab.kinds, c.kinds);
        if (c.options.empty() || c.options[0] == "-X") {
            EXPECT_EQ(cab.files, kTree);
        }
    }
}

TEST(Build, EmptyTree) {
    Workspace ws;
    fs::create_directories(ws.dir() / "empty");
    ToolRun run = ws.Run({"-BATCH", "empty"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Banner() + "Creating empty.CAB from empty\\*.*\nStored 0 files (0 bytes) in 36 bytes (0%)\n");
    EXPECT_EQ(Read(ws.dir() / "empty.CAB").parsed.cabinetSize, 36u);
}

// A cabinet that is also one of the listed files, here through a link, is
// stored as it was before the build: its data go in before it is rewritten.
TEST(Build, CabinetThatIsAlsoASource) {
    Workspace ws;
    const std::vector<uint8_t> old = RandomBytes(70000, 5);
    WriteFileBytes(ws.dir() / "out.bin", old);
    WriteFileBytes(ws.dir() / "src" / "a.txt", TextBytes(300, 6));
    fs::create_symlink("../out.bin", ws.dir() / "src" / "z.lnk");
    EXPECT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "src", "out.bin"}).status, 0);
    EXPECT_TRUE(Read(ws.dir() / "out.bin").files["z.lnk"] == old);
}

TEST(Build, DeleteSourceRemovesFilesAndEmptiedDirectories) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    WriteTree(src);
    WriteFileBytes(src / "only-subdirs" / "inner" / "x.txt", TextBytes(10, 1));
    WriteFileBytes(src / "skipped" / "qrt.ini", TextBytes(10, 1));
    ASSERT_EQ(ws.Run({"-BATCH", "-NOLOGO", "-D", "src", "out.cab"}).status, 0);
    EXPECT_EQ(Read(ws.dir() / "out.cab").names.size(), 7u);
    // Every listed file is gone; a directory goes when its own last listed
    // file goes, so one holding only a skipped file, or only subdirectories,
    // stays.
    EXPECT_FALSE(fs::exists(src / "readme.txt"));
    EXPECT_FALSE(fs::exists(src / "docs"));
    EXPECT_FALSE(fs::exists(src / "only-subdirs" / "inner"));
    EXPECT_TRUE(fs::exists(src / "only-subdirs"));
    EXPECT_TRUE(fs::exists(src / "skipped" / "qrt.ini"));
}

// A list longer than a page of the spooled file list, and cabinet tables
// larger than a temporary file keeps in memory: 1300 files under names of
// about 200 bytes, most of them small enough that many share a block, so
// the workers' runs cross files. With two workers the cabinet is the one
// a one-thread build writes, the -D check reads the list once more, and
// the cabinet holds the tree.
TEST(Build, LongListIsSpooledAndBuildsAsOneThreadDoes) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    const std::string deep = "a-directory-with-a-long-name-" + std::string(60, 'd');
    std::map<std::string, std::vector<uint8_t>> tree;
    for (int i = 0; i < 1300; ++i) {
        const std::string name = "sub" + std::to_string(i % 7) + "\\" + std::string(100, 'f') + std::to_string(i);
        tree[deep + "\\" + name] = TextBytes(i % 61 == 0 ? 50000 + i : i % 700, i);
    }
    for (const auto& [name, bytes] : tree) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        WriteFileBytes(src / path, bytes);
    }
    ws.ExpectSuccess({"-BATCH", "src", "one.cab"}, {.environment = {"TREEPAK_THREADS=1"}});
    ws.ExpectSuccess({"-BATCH", "-D", "src", "two.cab"}, {.environment = {"TREEPAK_THREADS=2"}});
    EXPECT_EQ(testsupport::ReadFileBytes(ws.dir() / "one.cab"), testsupport::ReadFileBytes(ws.dir() / "two.cab"));
    EXPECT_EQ(Read(ws.dir() / "two.cab").files, tree);
    EXPECT_TRUE(fs::is_empty(src / deep));  // every listed file and its directory gone
    EXPECT_TRUE(ws.TmpIsEmpty());
}

}  // namespace treepak
