#include <gtest/gtest.h>

#include <functional>

#include "tests/app/expand/expand_test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct ExpandFailureTest : ::testing::Test {
    Workspace ws;
    std::map<std::string, expandtest::FileState> source;

    void SetUp() override {
        expandtest::MakeSampleTree(ws.dir() / "src", 9);
        source = expandtest::Snapshot(ws.dir() / "src");
        const ChildSetup cabwrite{.program = CabwriteBinary()};
        ASSERT_EQ(ws.Run({"--force", "-t", "none", "-m", "250000", "set.cab", "src"}, cabwrite).status, 0);
        ASSERT_TRUE(fs::exists(ws.dir() / "set3.cab"));
        ASSERT_EQ(ws.Run({"--force", "-t", "deflate", "-f", "one.cab", "src"}, cabwrite).status, 0);
    }
    size_t WholeFilesIn(const std::string& destination) const {
        if (!fs::exists(ws.dir() / destination)) return 0;
        const auto out = expandtest::Snapshot(ws.dir() / destination);
        for (const auto& [name, state] : out) {
            const auto original = source.find(name);
            EXPECT_TRUE(original != source.end() && state.bytes == original->second.bytes) << name << " half-written";
        }
        return out.size();
    }
    void Cut(const std::string& name, size_t length) const {
        std::vector<uint8_t> bytes = ReadFileBytes(ws.dir() / name);
        bytes.resize(length);
        WriteFileBytes(ws.dir() / name, bytes);
    }
};

TEST_F(ExpandFailureTest, EachFailureIsNamedAndLeavesNoPartialFile) {
    struct Case {
        const char* what;
        std::function<void(const ExpandFailureTest&)> damage;
        const char* cabinet;
        int status;
        std::string diagnostic;
        int64_t fileSizeLimit = -1;
    };
    const std::vector<Case> cases = {
        {"not a cabinet", [](const ExpandFailureTest& t) { testsupport::WriteFileText(t.ws.dir() / "one.cab", std::string(100, 'x')); },
         "one.cab", 255, "treepak: one.cab: not a cabinet file\n"},
        {"truncated", [](const ExpandFailureTest& t) { t.Cut("one.cab", fs::file_size(t.ws.dir() / "one.cab") * 2 / 3); },
         "one.cab", 255, "treepak: one.cab: truncated: the file ends at byte "},
        {"checksum", [](const ExpandFailureTest& t) {
             std::vector<uint8_t> b = ReadFileBytes(t.ws.dir() / "one.cab");
             b[b.size() - 100] ^= 1;
             WriteFileBytes(t.ws.dir() / "one.cab", b); },
         "one.cab", 255, " fails its checksum or size check; "},
        {"missing next", [](const ExpandFailureTest& t) { fs::remove(t.ws.dir() / "set2.cab"); },
         "set.cab", 255, "treepak: set2.cab: cannot open the next cabinet of the set: No such file or directory (looked in .); "},
        {"case changed", [](const ExpandFailureTest& t) { fs::rename(t.ws.dir() / "set2.cab", t.ws.dir() / "SET2.CAB"); },
         "set.cab", 0, ""},
        {"started in the middle", [](const ExpandFailureTest&) {}, "set2.cab", 1,
         "treepak: set2.cab: its data begin in the earlier cabinet set.cab (start from the first cabinet of the set); "},
        {"output blocked", [](const ExpandFailureTest& t) { fs::create_directories(t.ws.dir() / "out" / "bin" / "file15.dat"); },
         "set.cab", 255, "/file15.dat: cannot create: Is a directory; "},
        {"disk full", [](const ExpandFailureTest&) {}, "one.cab", 255, ": cannot write: File too large; ",
         40 * 512},
    };
    for (const Case& c : cases) {
        SetUp();
        c.damage(*this);
        const ToolRun run = ws.Run({"-BATCH", c.cabinet, "out"}, {.fileSizeLimit = c.fileSizeLimit});
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.what;
        EXPECT_TRUE(c.diagnostic.empty() ? run.err.empty() : run.err.find(c.diagnostic) != std::string::npos)
            << c.what << ": " << run.err;
        const size_t whole = WholeFilesIn("out");
        EXPECT_TRUE(c.status != 0 || whole == source.size()) << c.what;
        fs::remove_all(ws.dir() / "out");
        fs::remove_all(ws.dir() / "src");
    }
}

TEST_F(ExpandFailureTest, DeleteTakesTheWholeSetOnlyAfterSuccess) {
    std::vector<uint8_t> last = ReadFileBytes(ws.dir() / "set3.cab");
    std::vector<uint8_t> broken = last;
    broken[broken.size() - 10] ^= 0xFF;
    WriteFileBytes(ws.dir() / "set3.cab", broken);
    EXPECT_EQ(ws.Run({"-BATCH", "-D", "set.cab", "bad"}).status, 255);
    for (const char* name : {"set.cab", "set2.cab", "set3.cab"}) EXPECT_TRUE(fs::exists(ws.dir() / name)) << name;

    WriteFileBytes(ws.dir() / "set3.cab", last);
    const ToolRun run = ws.Run({"-BATCH", "-D", "set.cab", "out"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(WholeFilesIn("out"), source.size());
    for (const char* name : {"set.cab", "set2.cab", "set3.cab"}) EXPECT_FALSE(fs::exists(ws.dir() / name)) << name;
}

}  // namespace

}  // namespace treepak
