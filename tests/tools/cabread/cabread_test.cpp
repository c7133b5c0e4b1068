#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "cab_parser.h"
#include "tests/app/expand/expand_test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using expandtest::CabFile;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

constexpr int kDone = 0, kPartly = 1, kNothingRead = 2;

// Prints "name size" per file and the cabinet and folder counts, from the
// JSON listing read by Python's json module.
constexpr const char* kJsonSummary = R"(import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
for f in sorted(d["files"], key=lambda f: f["name"]):
    print(f["name"], f["size"], ",".join(f["attributes"]))
print("cabinets", len(d["cabinets"]), [c["reserve"] for c in d["cabinets"]][0])
print("compression", sorted({x["compression"] for x in d["folders"]}))
)";

struct CabreadTest : ::testing::Test {
    Workspace ws;
    const ChildSetup cabwrite{.program = CabwriteBinary()};
    std::map<std::string, std::vector<uint8_t>> tree;  // relative path -> bytes
    std::set<std::string> readOnly;

    void SetUp() override {
        expandtest::MakeSampleTree(ws.dir() / "src", 5);
        for (const auto& [name, state] : expandtest::Snapshot(ws.dir() / "src")) {
            tree[name] = state.bytes;
            if (state.readOnly) readOnly.insert(name);
        }
    }
    ToolRun Read(const std::vector<std::string>& args, const std::string& input = "/dev/null") const {
        return ws.Run(args, {.program = CabreadBinary(), .input = input});
    }

    std::string JsonSummary(const std::string& cabinet) const {
        const ToolRun run = Read({"-l", "--json", cabinet});
        EXPECT_EQ(run.status, kDone) << run.err;
        testsupport::WriteFileText(ws.root.path() / "listing.json", run.out);
        testsupport::WriteFileText(ws.root.path() / "summary.py", kJsonSummary);
        std::string out;
        EXPECT_EQ(testsupport::RunCommand("python3 " + ShellQuote((ws.root.path() / "summary.py").string()) + " " +
                                              ShellQuote((ws.root.path() / "listing.json").string()),
                                          &out),
                  0);
        return out;
    }
    // The summary's file lines for the sample tree (both writers store the
    // archive bit and the read-only bit).
    std::string TreeLines() const {
        std::string lines;
        for (const auto& [name, bytes] : tree)
            lines += name + " " + std::to_string(bytes.size()) + (readOnly.count(name) ? " readonly" : " ") +
                     (readOnly.count(name) ? ",archive\n" : "archive\n");
        return lines;
    }
};

TEST_F(CabreadTest, ListingsAgreeWithWhatWasPacked) {
    ws.ExpectSuccess({"-BATCH", "-NOLOGO", "src", "one.CAB"});
    ws.ExpectSuccess({"-t", "none", "-m", "250000", "set.cab", "src"}, cabwrite);
    ASSERT_TRUE(fs::exists(ws.dir() / "set3.cab") && !fs::exists(ws.dir() / "set4.cab"));
    ws.ExpectSuccess({"-t", "lzx:17", "lzx.cab", "src"}, cabwrite);
    ws.ExpectSuccess(
        {"-t", "none", "--header-reserve", "20", "--folder-reserve", "3", "--data-reserve", "5", "res.cab", "src"},
        cabwrite);
    std::vector<uint8_t> exe = expandtest::MakeExecutable(3);
    const std::vector<uint8_t> cabinet = ReadFileBytes(ws.dir() / "one.CAB");
    exe.insert(exe.end(), cabinet.begin(), cabinet.end());
    WriteFileBytes(ws.dir() / "setup.exe", exe);

    struct Case {
        const char* cabinet;
        const char* tail;  // cabinets, first reserve, compressions
    };
    const Case cases[] = {
        {"one.CAB", "cabinets 1 {'header': 0, 'folder': 0, 'data': 0}\ncompression ['deflate', 'none']\n"},
        {"set.cab", "cabinets 3 {'header': 0, 'folder': 0, 'data': 0}\ncompression ['none']\n"},
        {"lzx.cab", "cabinets 1 {'header': 0, 'folder': 0, 'data': 0}\ncompression ['lzx:17']\n"},
        {"res.cab", "cabinets 1 {'header': 20, 'folder': 3, 'data': 5}\ncompression ['none']\n"},
        {"setup.exe", "cabinets 1 {'header': 0, 'folder': 0, 'data': 0}\ncompression ['deflate', 'none']\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonSummary(c.cabinet), TreeLines() + c.tail) << c.cabinet;
    uint64_t bytes = 0;
    for (const auto& entry : tree) bytes += entry.second.size();
    const ToolRun text = Read({"-l", "set.cab"});
    EXPECT_EQ(text.status, kDone);
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(static_cast<size_t>(std::count(text.out.begin(), text.out.end(), '\n')), tree.size() + 1);
    EXPECT_NE(text.out.find("\n" + std::to_string(tree.size()) + " files, " + std::to_string(bytes) + " bytes, 3 cabinets\n"),
              std::string::npos);
}

// Code-page names are converted as extraction converts them; a marked UTF-8
// name keeps its bytes and shows the u attribute.
TEST_F(CabreadTest, NamesAsExtractionWritesThem) {
    const std::vector<CabFile> files = {CabFile{"caf\xE9.txt", {'a'}},
                                        CabFile{"d\xC3\xAF\\\xC3\x9C" "ber.txt", {'b', 'c'}, 0xA1}};
    WriteFileBytes(ws.dir() / "names.cab", expandtest::BuildCabinet(files));
    EXPECT_EQ(JsonSummary("names.cab"),
              "café.txt 1 archive\ndï/Über.txt 2 readonly,archive,utf8\n"
              "cabinets 1 {'header': 0, 'folder': 0, 'data': 0}\ncompression ['none']\n");
    const ToolRun text = Read({"-l", "names.cab"});
    EXPECT_NE(text.out.find("r--a-u  none        dï/Über.txt\n"), std::string::npos) << text.out;
}

// Two damaged folders (a checksum and a decoding failure): testing names
// exactly their files; extraction with patterns takes exactly the matching
// sound files and leaves the damaged ones out.
TEST_F(CabreadTest, DamagedFoldersCostOnlyTheirFiles) {
    ws.ExpectSuccess({"-t", "deflate", "-f", "dmg.cab", "src"}, cabwrite);
    std::vector<uint8_t> bytes = ReadFileBytes(ws.dir() / "dmg.cab");
    testsupport::ParsedCabinet parsed;
    ASSERT_EQ(testsupport::ParseCabinet(bytes, &parsed), "");
    // Files in stored order; folder k holds file k. Damage two with data.
    std::vector<size_t> damaged;
    for (size_t i = 0; i < parsed.files.size() && damaged.size() < 2; ++i)
        if (parsed.files[i].fileSize > 1000 && (damaged.empty() || i > damaged[0] + 2)) damaged.push_back(i);
    ASSERT_EQ(damaged.size(), 2u);
    const testsupport::ParsedBlock& first = parsed.folders[parsed.files[damaged[0]].folderIndex].blocks.back();
    bytes[first.offset + 8 + first.compressedSize / 2] ^= 0x40;
    const testsupport::ParsedBlock& second = parsed.folders[parsed.files[damaged[1]].folderIndex].blocks[0];
    std::fill(bytes.begin() + second.offset, bytes.begin() + second.offset + 4, 0);  // no checksum to catch it
    for (size_t k = 2; k < 40; ++k) bytes[second.offset + 8 + k] ^= 0xA5;
    WriteFileBytes(ws.dir() / "dmg.cab", bytes);
    auto shown = [&](size_t i) {
        std::string name = parsed.files[i].name;
        std::replace(name.begin(), name.end(), '\\', '/');
        return name;
    };

    const ToolRun test = Read({"-t", "dmg.cab"});
    EXPECT_EQ(test.status, kPartly);
    std::istringstream lines(test.out);
    std::vector<std::string> failed;
    for (std::string line; std::getline(lines, line);)
        if (line.find(": FAILED: dmg.cab: data block ") != std::string::npos) failed.push_back(line.substr(0, line.find(':')));
    EXPECT_EQ(failed, (std::vector<std::string>{shown(damaged[0]), shown(damaged[1])})) << test.out;
    EXPECT_NE(test.out.find(std::to_string(tree.size() - 2) + " files tested OK"), std::string::npos);
    EXPECT_EQ(Read({"-t", "-q", "dmg.cab", shown(damaged[0] + 1)}).status, kDone);

    std::string upper = shown(damaged[0]);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const ToolRun extract = Read({"-x", "-q", "-d", "out", "dmg.cab", upper, "docs/*"});
    EXPECT_EQ(extract.status, kPartly);
    EXPECT_EQ(extract.out, "");
    EXPECT_NE(extract.err.find("; " + shown(damaged[0]) + " not extracted\n"), std::string::npos) << extract.err;
    std::set<std::string> expected;
    for (const auto& [name, data] : tree)
        if (name.rfind("docs/", 0) == 0 && name != shown(damaged[1])) expected.insert(name);
    std::set<std::string> got;
    for (const auto& [name, state] : expandtest::Snapshot(ws.dir() / "out")) {
        got.insert(name);
        EXPECT_EQ(state.bytes, tree.at(name)) << name;
    }
    EXPECT_EQ(got, expected);
}

TEST_F(CabreadTest, PipeAndStandardInput) {
    ws.ExpectSuccess({"-BATCH", "-NOLOGO", "src", "one.CAB"});
    const std::string name = tree.rbegin()->first;
    const ToolRun pipe = Read({"-p", "one.CAB", name});
    EXPECT_EQ(pipe.status, kDone);
    EXPECT_EQ(std::vector<uint8_t>(pipe.out.begin(), pipe.out.end()), tree.at(name));
    EXPECT_EQ(pipe.err, "");

    const ToolRun fromFile = Read({"-l", "one.CAB"});
    const ToolRun fromInput = Read({"-l", "-"}, (ws.dir() / "one.CAB").string());
    EXPECT_EQ(fromInput.status, kDone);
    EXPECT_EQ(fromInput.out, fromFile.out);
    const ToolRun testInput = Read({"-t", "-"}, (ws.dir() / "one.CAB").string());
    EXPECT_EQ(testInput.status, kDone) << testInput.err;

    testsupport::WriteFileText(ws.dir() / "out" / name, "mine");
    const ToolRun keep = Read({"-x", "-q", "--keep", "-d", "out", "one.CAB"});
    EXPECT_EQ(keep.status, kDone);
    EXPECT_EQ(keep.err, "cabread: out/" + name + ": exists, left alone\n");
    EXPECT_EQ(expandtest::Snapshot(ws.dir() / "out").size(), tree.size());
    EXPECT_EQ(ReadFileBytes(ws.dir() / "out" / name), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
}

TEST_F(CabreadTest, ExitStatusesAndMessages) {
    ws.ExpectSuccess({"-BATCH", "-NOLOGO", "src", "one.CAB"});
    testsupport::WriteFileText(ws.dir() / "junk.cab", "not a cabinet at all, but longer than a header");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;
    };
    const Case cases[] = {
        {{"one.CAB"}, kNothingRead, "cabread: one of -l, -t, -x and -p is needed\n"},
        {{"-l", "-t", "one.CAB"}, kNothingRead, "cabread: only one of -l, -t, -x and -p may be given\n"},
        {{"-p", "one.CAB"}, kNothingRead, "cabread: --pipe needs a PATTERN\n"},
        {{"-t", "--json", "one.CAB"}, kNothingRead, "cabread: --json goes with --list\n"},
        {{"-l", "--bogus", "one.CAB"}, kNothingRead, "cabread: unknown option '--bogus'\n"},
        {{"-t", "missing.cab"}, kNothingRead, "cabread: missing.cab: cannot open: No such file or directory\n"},
        {{"-l", "junk.cab"}, kNothingRead, "cabread: junk.cab: not a cabinet file\n"},
        {{"-x", "-q", "-d", "o", "one.CAB", "nothing*"}, kPartly, "cabread: nothing*: no file in the cabinet matches\n"},
        {{"-t", "-q", "--", "one.CAB"}, kDone, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = Read(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << " " << c.args.back();
        EXPECT_EQ(run.err.substr(0, run.err.find("\nTry")) + (run.err.find("\nTry") == std::string::npos ? "" : "\n"),
                  c.err);
    }
    EXPECT_EQ(Read({"--help"}).status, kDone);

    // Listing reads no data block: the tables alone list in full.
    std::vector<uint8_t> bytes = ReadFileBytes(ws.dir() / "one.CAB");
    testsupport::ParsedCabinet parsed;
    ASSERT_EQ(testsupport::ParseCabinet(bytes, &parsed), "");
    bytes.resize(parsed.folders[0].firstDataOffset);
    WriteFileBytes(ws.dir() / "tables.cab", bytes);
    EXPECT_EQ(Read({"-l", "tables.cab"}).out, Read({"-l", "one.CAB"}).out);
    const ToolRun test = Read({"-t", "-q", "tables.cab"});
    EXPECT_EQ(test.status, kPartly);
    EXPECT_NE(test.out.find(": FAILED: tables.cab: truncated: the file ends at byte "), std::string::npos) << test.out;
}

}  // namespace

}  // namespace treepak
