#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <map>

#include "cab_parser.h"
#include "cabinet/format.h"
#include "tool_run.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::ParsedCabinet;
using Contents = std::map<std::string, std::vector<uint8_t>>;

namespace {

class CabwriteTest : public ::testing::Test {
protected:
    Workspace ws;
    fs::path in = ws.dir() / "in", out = ws.dir() / "out";
    Contents sources;  // by stored name
    int expansions = 0;

    void SetUp() override {
        fs::create_directories(in / "sub" / "deeper");
        fs::create_directories(out);
        Put("alpha.txt", "alpha.txt", testsupport::TextBytes(70000, 1));
        Put("random.bin", "random.bin", testsupport::RandomBytes(45000, 2));
        Put("sub/empty", "sub\\empty", {});
        Put("sub/deeper/run.dat", "sub\\deeper\\run.dat", std::vector<uint8_t>(90000, 'z'));
    }
    void TearDown() override { EXPECT_TRUE(ws.TmpIsEmpty()); }

    void Put(const std::string& path, const std::string& stored, const std::vector<uint8_t>& bytes) {
        testsupport::WriteFileBytes(in / path, bytes);
        sources[stored] = bytes;
    }
    std::vector<uint8_t> Bytes(const std::string& path) { return testsupport::ReadFileBytes(ws.dir() / path); }

    ToolRun Cab(const std::vector<std::string>& args, ChildSetup setup = {}) {
        setup.program = CabwriteBinary();
        return ws.Run(args, setup);
    }
    Contents Expand(const std::string& cabinet) {
        const fs::path destination = ws.root.path() / ("expanded" + std::to_string(++expansions));
        const ToolRun run = ws.Run({cabinet, destination.string()});
        EXPECT_EQ(run.status, 0) << cabinet << run.out << run.err;
        Contents files;
        for (auto& [path, bytes] : testsupport::TreeContents(destination)) {
            std::string name = path;
            for (char& c : name) c = c == '/' ? '\\' : c;
            files[name] = bytes;
        }
        return files;
    }
    // Each option set with `threads` against TREEPAK_THREADS=1: the same
    // cabinets, byte for byte.
    void ExpectOneThreadsCabinets(const std::vector<std::vector<std::string>>& optionSets, const char* threads) {
        for (const std::vector<std::string>& options : optionSets) {
            SCOPED_TRACE(testing::PrintToString(options));
            Contents written[2];
            for (int i = 0; i < 2; ++i) {
                std::vector<std::string> args = options;
                args.insert(args.end(), {"out/w.cab", "in"});
                const ToolRun run = Cab(args, {.environment = {i == 0 ? "TREEPAK_THREADS=1" : threads}});
                EXPECT_EQ(run.status, 0) << run.out << run.err;
                for (const auto& entry : fs::directory_iterator(out)) {
                    written[i][entry.path().filename().string()] = testsupport::ReadFileBytes(entry.path());
                    fs::remove(entry.path());
                }
            }
            EXPECT_GT(written[0].size(), 0u);
            EXPECT_TRUE(written[0] == written[1]);
        }
    }
    std::vector<ParsedCabinet> ParseSet(const std::vector<std::string>& names) {
        std::vector<ParsedCabinet> set;
        for (const std::string& n : names) {
            ParsedCabinet cab;
            EXPECT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(out / n), &cab), "") << n;
            set.push_back(cab);
        }
        return set;
    }
};

}  // namespace

TEST_F(CabwriteTest, UsageAndImpossibleParameters) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::string message;
    };
    const std::vector<std::string> io = {"out/x.cab", "in/alpha.txt"};
    auto with = [&](std::vector<std::string> a) { return a.insert(a.end(), io.begin(), io.end()), a; };
    const Case cases[] = {
        {{}, {}, "no output cabinet given"},
        {{"only.cab"}, {}, "no input given"},
        {with({"-t", "quantum"}), {}, "unknown compression type 'quantum'"},
        {with({"-m", "12k"}), {}, "option -m: '12k' is not a number"},
        {with({"-n", "part.cab"}), {}, "--next pattern 'part.cab' needs exactly one %d"},
        {with({"-D", "V%s%d"}), {}, "--disk-pattern 'V%s%d' needs exactly one %d"},
        {with({"--bogus"}), {}, "unknown option --bogus"},
        {{"-t"}, {}, "option -t needs a value"},
        {with({"-t", "lzx:14"}), {}, "-t lzx:14: the LZX window must be 2^15 to 2^21 bytes"},
        {with({"--type=lzx:22"}), {}, "--type lzx:22: the LZX window"},
        {with({"--header-reserve", "65536"}), {}, "--header-reserve 65536 is out of range: the cabinet header's"},
        {with({"--folder-reserve", "256"}), {}, "--folder-reserve 256 is out of range: the 8-bit reserve size"},
        {with({"--data-reserve", "256"}), {}, "--data-reserve 256 is out of range: the 8-bit reserve size field"},
        {with({"-s", "65536"}), {}, "-s 65536 is out of range: set ids are 16-bit"},
        // Header 36, folder 8, entry 16 + "in\alpha.txt" + NUL, block header 8, one byte.
        {with({"-m", "81"}), {}, "--max-size 81 is too small to hold one data block: with these reserve sizes and "
                                 "names a cabinet needs at least 82 bytes"},
        {with({"-m", "100", "--header-reserve", "10", "--data-reserve", "5"}), {}, "needs at least 101 bytes"},
        {with({"--mtime", "2021-02-29"}), {}, "--mtime '2021-02-29' is no time"},
        {with({"--mtime", "2021-01-01 12:00"}), {}, "--mtime '2021-01-01 12:00' is no time"},
        {with({"--attributes", "hidden"}), {}, "--attributes 'hidden' is none of keep, archive or none"},
        {io, {"SOURCE_DATE_EPOCH=yesterday"}, "SOURCE_DATE_EPOCH 'yesterday' is not a number of seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const ToolRun run = Cab(c.args, {.environment = c.environment});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("cabwrite: ", 0), 0u);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(out));
    }
    EXPECT_EQ(Cab({"-m", "82", "out/x.cab", "in/alpha.txt"}).status, 1) << "the set fails later, in the engine";
    EXPECT_TRUE(fs::is_empty(out));
    ToolRun run = Cab({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Usage: cabwrite [options] OUTPUT.cab [INPUT...]\n", 0), 0u);
    run = Cab({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("cabwrite (treepak) ", 0), 0u);
}

// Names in walk order (sorted by bytes), attributes from the files; a name
// with bytes of 0x80 or more is UTF-8 and its entry says so.
TEST_F(CabwriteTest, TreeIntoOneDeflateCabinet) {
    chmod((in / "random.bin").c_str(), 0444);
    Put("sub/gr\xC3\xBC\xC3\x9F" "e.txt", "sub\\gr\xC3\xBC\xC3\x9F" "e.txt", testsupport::TextBytes(500, 3));
    ASSERT_EQ(Cab({"out/tree.cab", "in"}).status, 0);
    EXPECT_EQ(Expand("out/tree.cab"), sources);
    const ParsedCabinet cab = ParseSet({"tree.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 1u);
    EXPECT_EQ(cab.folders[0].compressionType, 1);
    std::vector<std::string> names;
    std::vector<uint16_t> attributes;
    for (const auto& f : cab.files) names.push_back(f.name), attributes.push_back(f.attributes);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha.txt", "random.bin", "sub\\deeper\\run.dat", "sub\\empty",
                                               "sub\\gr\xC3\xBC\xC3\x9F" "e.txt"}));
    EXPECT_EQ(attributes, (std::vector<uint16_t>{0x20, 0x21, 0x20, 0x20, 0x20 | FILE_ATTR_NAME_IS_UTF8}));
    EXPECT_GT(cab.files[0].date, 0x2000);  // some time after 1996
}

TEST_F(CabwriteTest, EveryParameterInASpanningSet) {
    const ToolRun run = Cab({"-t", "none", "-m", "60000", "-f", "--header-reserve", "20", "--folder-reserve", "3",
                             "--data-reserve", "2", "-s", "777", "-d", "FIRST", "-D", "VOL%d", "-n", "part%d.cab",
                             "-x", "alpha.txt", "-v", "out/set.cab", "in"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n4 cabinets, 4 folders, 4 files, 205000 bytes in, "), std::string::npos) << run.out;
    auto set = ParseSet({"set.cab", "part2.cab", "part3.cab", "part4.cab"});
    EXPECT_EQ(Expand("out/set.cab"), sources);
    EXPECT_FALSE(fs::exists(out / "part5.cab"));
    for (size_t i = 0; i < set.size(); ++i) {
        const ParsedCabinet& cab = set[i];
        EXPECT_TRUE(cab.setId == 777 && cab.cabinetIndex == i && cab.cabinetSize <= 60000u) << i;
        EXPECT_TRUE(cab.headerReserveSize == 20 && cab.folderReserveSize == 3 && cab.dataReserveSize == 2) << i;
    }
    EXPECT_EQ(set[0].nextCabinet, "part2.cab");
    EXPECT_EQ(set[0].nextDisk, "VOL2");
    EXPECT_EQ(set[1].prevCabinet, "set.cab");
    EXPECT_EQ(set[1].prevDisk, "FIRST");
    EXPECT_EQ(set[2].prevDisk, "VOL2");
    EXPECT_EQ(set[0].cabinetSize, 60000u);  // ends with the first piece of a split block
    EXPECT_EQ(set[0].folders.back().blocks.back().uncompressedSize, 0);
    // One folder per file: alpha.txt (70000 bytes) fills the first cabinet
    // and ends in the second, where random.bin has a folder of its own.
    ASSERT_EQ(set[0].files.size(), 1u);
    EXPECT_EQ(set[0].files[0].folderIndex, 0xFFFE);
    EXPECT_EQ(set[0].files[0].attributes & 0x40, 0x40);
    ASSERT_GE(set[1].files.size(), 2u);
    EXPECT_EQ(set[1].files[0].name, "alpha.txt");
    EXPECT_EQ(set[1].files[0].folderIndex, 0xFFFD);
    EXPECT_EQ(set[1].files[0].attributes & 0x40, 0x40);
    EXPECT_EQ(set[1].files[1].name, "random.bin");
    EXPECT_EQ(set[1].files[1].folderIndex, 1);
    EXPECT_EQ(set[1].files[1].attributes & 0x40, 0);
}

// Lists with comments, blank lines, CR LF ends and tab-separated names,
// read from a file or standard input; relative arguments keep their path,
// --strip-dirs drops it; a dry run shows the plan and writes nothing.
TEST_F(CabwriteTest, FileListsAndStoredNames) {
    testsupport::WriteFileText(ws.dir() / "list.txt",
                               "# packaging list\n\nin/alpha.txt\tdocs/Alpha.txt\r\n \t \n"
                               "in/sub\tpayload\n#in/random.bin\nin/random.bin\n");
    const std::vector<std::string> args = {"-L", "list.txt", "out/list.cab", "./in/sub/deeper/run.dat"};
    ASSERT_EQ(Cab(args).status, 0);
    const Contents expected = {{"docs\\Alpha.txt", sources["alpha.txt"]},
                               {"payload\\deeper\\run.dat", sources["sub\\deeper\\run.dat"]},
                               {"payload\\empty", {}},
                               {"in\\random.bin", sources["random.bin"]},
                               {"in\\sub\\deeper\\run.dat", sources["sub\\deeper\\run.dat"]}};
    EXPECT_EQ(Expand("out/list.cab"), expected);

    const ToolRun fromStdin = Cab({"-L", "-", "out/stdin.cab", "./in/sub/deeper/run.dat"}, {.input = "list.txt"});
    ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_EQ(Bytes("out/stdin.cab"), Bytes("out/list.cab"));

    const ToolRun plan = Cab({"--dry-run", "-t", "none", "-m", "100000", "-f", "-L", "list.txt", "out/plan.cab"});
    ASSERT_EQ(plan.status, 0) << plan.err;
    EXPECT_EQ(plan.out, "docs\\Alpha.txt\t70000\t1\tplan.cab\n"
                        "payload\\deeper\\run.dat\t90000\t2\tplan.cab\n"
                        "payload\\deeper\\run.dat\t90000\t2\tplan2.cab\n"
                        "payload\\empty\t0\t3\tplan2.cab\n"
                        "in\\random.bin\t45000\t4\tplan2.cab\n"
                        "in\\random.bin\t45000\t4\tplan3.cab\n");
    EXPECT_FALSE(fs::exists(out / "plan.cab") || fs::exists(out / "plan2.cab"));

    ASSERT_EQ(Cab({"--strip-dirs", "out/strip.cab", "in/sub/deeper/run.dat", "./in/alpha.txt"}).status, 0);
    EXPECT_EQ(Expand("out/strip.cab"),
              (Contents{{"run.dat", sources["sub\\deeper\\run.dat"]}, {"alpha.txt", sources["alpha.txt"]}}));
}

TEST_F(CabwriteTest, RefusalsWriteNothing) {
    testsupport::WriteFileText(ws.dir() / "notes.txt", "my notes\n");
    testsupport::WriteFileText(ws.dir() / "other" / "alpha.txt", "another alpha\n");
    testsupport::WriteFileText(ws.dir() / "odd" / "back\\slash.txt", "x");
    testsupport::WriteFileText(out / "part2.cab", "not a cabinet");
    testsupport::WriteFileText(out / "notes.cab", "not a cabinet either");
    ASSERT_EQ(Cab({"out/old.cab", "in/alpha.txt"}).status, 0);
    struct Case {
        std::vector<std::string> args;
        std::string list, message;
    };
    const std::string absolute = (in / "alpha.txt").string();
    const Case cases[] = {
        {{"--strip-dirs", "out/d.cab", "in/alpha.txt", "other/alpha.txt"}, "",
         "in/alpha.txt and other/alpha.txt would both be stored as 'alpha.txt'"},
        {{"-L", "bad.txt", "out/d.cab", "in/alpha.txt"}, "in/random.bin\tIN/ALPHA.TXT\n",
         "in/random.bin (bad.txt:1) and in/alpha.txt would both be stored as 'IN\\ALPHA.TXT' (names are compared "
         "without regard to case)"},
        {{"out/d.cab", "../work/in/alpha.txt"}, "", "the name '..\\work\\in\\alpha.txt' would be refused on expansion"},
        {{"out/d.cab", absolute}, "", absolute + ": the name '\\"},
        {{"-L", "bad.txt", "out/d.cab"}, "in/alpha.txt\tC:/evil.txt\n", "(bad.txt:1): the name 'C:\\evil.txt' would"},
        {{"-L", "bad.txt", "out/d.cab"}, "\nin/alpha.txt\tdocs//a.txt\n", "(bad.txt:2): the name 'docs\\\\a.txt'"},
        {{"-L", "bad.txt", "out/d.cab"}, "in/alpha.txt\tdocs/./a.txt\n", "the name 'docs\\.\\a.txt' would"},
        {{"out/d.cab", "odd"}, "", "'odd/back\\slash.txt' has a '\\' in its name"},
        {{"-L", "bad.txt", "out/d.cab"}, "in/alpha.txt\t\n", "bad.txt:1: empty name after the tab"},
        {{"-L", "bad.txt", "out/d.cab"}, "# none\nnothing-here\n", "bad.txt:2: cannot read nothing-here"},
        {{"notes.txt", "out/old.cab", "out/never.cab"}, "",
         "refusing to replace notes.txt: it exists and is not a cabinet (use --force to replace it)"},
        {{"--force", "notes.txt", "in/alpha.txt", "notes.txt"}, "", "the cabinet notes.txt: it is also an input"},
        {{"--force", "-L", "bad.txt", "bad.txt"}, "in/alpha.txt\n", "the cabinet bad.txt: it is also an input"},
        {{"out", "in"}, "", "cannot write the cabinet out: it is a directory"},
        {{"-t", "none", "-m", "40000", "out/part.cab", "in"}, "", "refusing to replace out/part2.cab: it exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove(ws.dir() / "bad.txt");
        if (!c.list.empty()) testsupport::WriteFileText(ws.dir() / "bad.txt", c.list);
        const Contents before = testsupport::TreeContents(ws.dir());
        const ToolRun run = Cab(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("cabwrite: ", 0), 0u);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(testsupport::TreeContents(ws.dir()) == before);
    }
    // An existing cabinet is replaced as before, anything else with --force.
    ASSERT_EQ(Cab({"out/old.cab", "in/random.bin"}).status, 0);
    EXPECT_EQ(Expand("out/old.cab"), (Contents{{"in\\random.bin", sources["random.bin"]}}));
    ASSERT_EQ(Cab({"--force", "out/notes.cab", "in/alpha.txt"}).status, 0);
    EXPECT_EQ(Expand("out/notes.cab"), (Contents{{"in\\alpha.txt", sources["alpha.txt"]}}));
}

// Two copies of a tree with other file times and permissions, written under
// other time zones and umasks, give the same bytes; the stored times are
// UTC calendar times, clamped to SOURCE_DATE_EPOCH or set by --mtime.
TEST_F(CabwriteTest, ReproducibleAcrossTreesZonesAndModes) {
    constexpr int64_t kEpoch = 1700000000;         // 2023-11-14 22:13:20 UTC
    constexpr int64_t kOld = 978310861;            // 2001-01-01 01:01:01 UTC, kept (rounded down)
    struct Copy {
        const char* dir;
        int64_t later;  // seconds after kEpoch of the new files' times
        fs::perms fileMode;
        int umask;
        const char* zone;
    };
    const Copy copies[] = {{"t1", 1000, fs::perms(0644), 022, "TZ=UTC0"},
                           {"t2", 900000, fs::perms(0600), 077, "TZ=XYZ-13:45"}};
    for (const Copy& c : copies) {
        const fs::path root = ws.dir() / c.dir;
        for (const char* name : {"d/e/c.txt", "a.txt", "d/b.bin", "old.txt"}) {
            testsupport::WriteFileText(root / name, std::string(name) + " contents\n");
            fs::permissions(root / name, c.fileMode);
            const int64_t when = std::string(name) == "old.txt" ? kOld : kEpoch + c.later;
            const struct utimbuf times = {static_cast<time_t>(when), static_cast<time_t>(when)};
            ASSERT_EQ(utime((root / name).c_str(), &times), 0);
        }
    }
    struct Variant {
        std::vector<std::string> options;
        std::string environment;
        uint16_t date, time, attributes;  // of d/b.bin, stored as b.bin
    };
    const Variant variants[] = {
        {{}, "SOURCE_DATE_EPOCH=1700000000", (43 << 9) | (11 << 5) | 14, (22 << 11) | (13 << 5) | 10, 0x20},
        {{"--mtime=2024-02-29 23:59:58"}, "", (44 << 9) | (2 << 5) | 29, (23 << 11) | (59 << 5) | 29, 0x20},
        {{"--mtime=@1700000000", "--attributes=none"}, "", (43 << 9) | (11 << 5) | 14, (22 << 11) | (13 << 5) | 10, 0},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.options.empty() ? v.environment : v.options[0]);
        std::vector<std::vector<uint8_t>> results;
        for (const Copy& c : copies) {
            std::vector<std::string> args = v.options;
            args.insert(args.end(), {"../out/" + std::string(c.dir) + ".cab", "a.txt", "d", "old.txt"});
            std::vector<std::string> environment = {c.zone};
            if (!v.environment.empty()) environment.push_back(v.environment);
            const ToolRun run = Cab(args, {.environment = environment, .directory = c.dir, .umask = c.umask});
            ASSERT_EQ(run.status, 0) << run.err;
            results.push_back(testsupport::ReadFileBytes(out / (std::string(c.dir) + ".cab")));
        }
        EXPECT_TRUE(results[0] == results[1]);
        const ParsedCabinet cab = ParseSet({"t1.cab"})[0];
        ASSERT_EQ(cab.files.size(), 4u);
        EXPECT_EQ(cab.files[1].name, "b.bin");
        EXPECT_EQ(cab.files[1].date, v.date);
        EXPECT_EQ(cab.files[1].time, v.time);
        EXPECT_EQ(cab.files[1].attributes, v.attributes);
        if (v.options.empty()) {
            EXPECT_EQ(cab.files[3].date, (21 << 9) | (1 << 5) | 1);
            EXPECT_EQ(cab.files[3].time, (1 << 11) | (1 << 5) | 0);
        }
        const Contents expanded = Expand("out/t2.cab");
        EXPECT_EQ(expanded.size(), 4u);
        EXPECT_EQ(expanded.at("e\\c.txt"), testsupport::ReadFileBytes(ws.dir() / "t1/d/e/c.txt"));
    }
}

TEST_F(CabwriteTest, FailuresLeaveNoCabinet) {
    ToolRun run = Cab({"out/missing-dir/x.cab", "in"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("code 6 [Could not create cabinet file]"), std::string::npos) << run.err;
    // A limit too small for the second cabinet fails after the first was
    // written; the partial set is removed again.
    run = Cab({"-t", "none", "-m", "90", "--strip-dirs", "out/tiny.cab", "in/alpha.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::is_empty(out)) << run.err;
    EXPECT_EQ(Cab({"out/x.cab", "in/nothing-here"}).status, 1);
    EXPECT_TRUE(fs::is_empty(out));
}

// Deflate jobs with workers ahead (TREEPAK_THREADS=4) against the writer
// alone: the same cabinets, whether the folders are the planned ones or
// closed early by the threshold or the cabinet size.
TEST_F(CabwriteTest, WorkersWriteWhatTheWriterAloneWrites) {
    Put("big.txt", "big.txt", testsupport::TextBytes((32u << 15) + 400000, 4));
    Put("sub/more.txt", "sub\\more.txt", testsupport::TextBytes(300000, 5));
    ExpectOneThreadsCabinets({{}, {"-f"}, {"-T", "30000"}, {"-m", "400000"}}, "TREEPAK_THREADS=4");
}

// LZX folders with the search thread (TREEPAK_THREADS=2) against the
// writer alone: the same cabinets, with stretches (one folder, one per
// file) and without, where a cabinet or folder limit could end a folder.
TEST_F(CabwriteTest, LzxSearchThreadWritesWhatTheWriterAloneWrites) {
    std::vector<uint8_t> mixed = testsupport::TextBytes(700000, 6);
    const std::vector<uint8_t> random = testsupport::RandomBytes(150000, 7);
    mixed.insert(mixed.begin() + 300000, random.begin(), random.end());
    mixed.insert(mixed.begin() + 500000, 5000, ' ');
    Put("big.txt", "big.txt", mixed);
    Put("sub/more.txt", "sub\\more.txt", testsupport::TextBytes(500000, 8));
    ExpectOneThreadsCabinets({{"-t", "lzx:15"},
                              {"-t", "lzx:16", "-f"},
                              {"-t", "lzx:15", "-m", "250000"},
                              {"-t", "lzx:15", "-T", "400000"}},
                             "TREEPAK_THREADS=2");
}

}  // namespace treepak
