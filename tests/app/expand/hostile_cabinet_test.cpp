#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/expand/expand_cabinet.h"
#include "expand_test_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using expandtest::CabFile;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void IgnoreProgress(void*, const char*, int32_t, int32_t) {}

std::vector<std::string> EntriesOutsideDestination(const fs::path& root, const std::string& destination = "out") {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (relative != destination && relative.rfind(destination + "/", 0) != 0) entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(HostileCabinet, UnsafeNamesAreSkippedAndNamed) {
    const std::vector<std::string> unsafe = {"..\\escape.txt", "\\rooted.txt", "/rooted.txt", "C:drive.txt",
                                             "a\\..\\..\\up.txt", "a\\\\b.txt", ".\\dot.txt", "a\\.\\b.txt",
                                             "trailing\\", ".."};
    Workspace ws;
    const fs::path work = ws.dir();
    std::vector<CabFile> files = {CabFile{"safe\\first.txt", Bytes("first")}};
    for (const std::string& name : unsafe) files.push_back(CabFile{name, Bytes("evil")});
    files.push_back(CabFile{"last.txt", Bytes("last")});
    testsupport::WriteFileBytes(work / "evil.cab", expandtest::BuildCabinet(files));

    const ToolRun run = ws.Run({"evil.cab", "out"});
    EXPECT_EQ(run.status, 1);
    const std::string output = run.out + run.err;
    for (const std::string& name : unsafe)
        EXPECT_NE(output.find("***** ERROR: unsafe file name in cabinet: " + name + "\n"), std::string::npos) << name;
    EXPECT_NE(output.find("treepak: evil.cab: unsafe file name; ..\\escape.txt not extracted\n"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFileBytes(work / "out/safe/first.txt"), Bytes("first"));
    EXPECT_EQ(testsupport::ReadFileBytes(work / "out/last.txt"), Bytes("last"));
    EXPECT_EQ(EntriesOutsideDestination(ws.root.path(), "work/out"),
              (std::vector<std::string>{"stderr.txt", "stdout.txt", "tmp", "work", "work/evil.cab"}));
    EXPECT_FALSE(fs::exists("/rooted.txt"));
}

TEST(HostileCabinet, OutputIsNeverWrittenThroughALink) {
    testsupport::ScratchDir scratch;
    const fs::path out = scratch.path() / "out";
    fs::create_directories(out);
    testsupport::WriteFileBytes(scratch.path() / "victim.txt", Bytes("untouched"));
    fs::create_symlink(scratch.path() / "victim.txt", out / "link.txt");
    testsupport::WriteFileBytes(scratch.path() / "pack.cab",
                                expandtest::BuildCabinet({CabFile{"link.txt", Bytes("overwritten")}}));
    EXPECT_EQ(ExpandCabinet((scratch.path() / "pack.cab").c_str(), out.c_str(), IgnoreProgress, nullptr), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(scratch.path() / "victim.txt"), Bytes("untouched"));
}

}  // namespace

}  // namespace treepak
