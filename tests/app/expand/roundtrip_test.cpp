#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "expand_test_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;

// Sets and overlays carry no times through cabwrite: compare the bytes.
void ExpectSameFiles(const fs::path& expandedRoot, const fs::path& sourceRoot) {
    const auto expanded = expandtest::Snapshot(expandedRoot), original = expandtest::Snapshot(sourceRoot);
    ASSERT_EQ(expanded.size(), original.size());
    for (const auto& [name, state] : original) {
        ASSERT_TRUE(expanded.count(name)) << name;
        EXPECT_EQ(expanded.at(name).bytes, state.bytes) << name;
    }
}

struct BuildCase {
    const char* name;
    std::vector<std::string> options;
};

class ToolRoundTrip : public ::testing::TestWithParam<BuildCase> {};

TEST_P(ToolRoundTrip, ExpandsToTheSameTree) {
    Workspace ws;
    const fs::path source = ws.dir() / "src";
    expandtest::MakeSampleTree(source, 42);
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"src", "pack.cab"});
    ws.ExpectSuccess(args);
    ws.ExpectSuccess({"-D", "pack.cab", "out"});
    EXPECT_EQ(expandtest::Snapshot(ws.dir() / "out"), expandtest::Snapshot(source));
    EXPECT_FALSE(fs::exists(ws.dir() / "pack.cab")) << "-D deletes the cabinet after success";
}

INSTANTIATE_TEST_SUITE_P(Options, ToolRoundTrip,
                         ::testing::Values(BuildCase{"Default", {}}, BuildCase{"SingleFolder", {"-X"}},
                                           BuildCase{"NoCompress", {"-NOCOMPRESS"}}),
                         [](const ::testing::TestParamInfo<BuildCase>& info) { return std::string(info.param.name); });

// With -F every file is stored under its bare name, so a tree whose names
// are distinct comes back flat, each file with its bytes, time and
// read-only bit. -D's check compares against the same flattened names.
TEST(ToolRoundTrip, FlattenedTreeExpandsFlat) {
    Workspace ws;
    const fs::path source = ws.dir() / "src";
    expandtest::MakeSampleTree(source, 43);
    std::map<std::string, expandtest::FileState> expected;
    for (const auto& [path, state] : expandtest::Snapshot(source))
        ASSERT_TRUE(expected.emplace(fs::path(path).filename().string(), state).second) << path;
    ASSERT_GT(expected.size(), 4u);
    ws.ExpectSuccess({"-F", "-D", "src", "pack.cab"});
    EXPECT_TRUE(expandtest::Snapshot(source).empty()) << "-D deletes every source file";
    ws.ExpectSuccess({"pack.cab", "out"});
    EXPECT_EQ(expandtest::Snapshot(ws.dir() / "out"), expected);
}

TEST(CabwriteSet, LzxWithReservesExpandsFromTheFirstCabinet) {
    Workspace ws;
    const fs::path source = ws.dir() / "src";
    expandtest::MakeSampleTree(source, 45);
    ws.ExpectSuccess({"-t", "lzx:16", "-m", "30000", "--header-reserve", "100", "--folder-reserve", "7",
                      "--data-reserve", "5", "set.cab", "src"},
                     {.program = CabwriteBinary()});
    ASSERT_TRUE(fs::exists(ws.dir() / "set3.cab"));
    ws.ExpectSuccess({"set.cab", "out"});
    ExpectSameFiles(ws.dir() / "out", source);
}

// A cabinet appended to an executable expands like the plain cabinet; only
// the executable's handles carry the offset, so plain cabinets continuing
// its set are read from their start.
TEST(Overlay, CabinetsAfterTheLastSectionExpandLikeThePlainOnes) {
    Workspace ws;
    expandtest::MakeSampleTree(ws.dir() / "src", 46);
    ws.ExpectSuccess({"src", "pack.cab"});
    ws.ExpectSuccess({"-m", "100000", "set.cab", "src"}, {.program = CabwriteBinary()});
    ASSERT_TRUE(fs::exists(ws.dir() / "set2.cab"));
    for (const char* name : {"pack.cab", "set.cab"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> image = expandtest::MakeExecutable(3);
        const std::vector<uint8_t> cabinet = testsupport::ReadFileBytes(ws.dir() / name);
        image.insert(image.end(), cabinet.begin(), cabinet.end());
        testsupport::WriteFileBytes(ws.dir() / name, image);
        ws.ExpectSuccess({name, "out"});
        ExpectSameFiles(ws.dir() / "out", ws.dir() / "src");
        fs::remove_all(ws.dir() / "out");
    }
}

}  // namespace

}  // namespace treepak
