#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "expand_test_support.h"
#include "test_support.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using expandtest::RunIn;

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
    testsupport::ScratchDir scratch;
    const fs::path source = scratch.path() / "src";
    expandtest::MakeSampleTree(source, 42);
    std::string options;
    for (const std::string& option : GetParam().options) options += " " + option;
    std::string output;
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + options + " src pack.cab", &output), 0) << output;
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " -D pack.cab out", &output), 0) << output;
    EXPECT_EQ(expandtest::Snapshot(scratch.path() / "out"), expandtest::Snapshot(source));
    EXPECT_FALSE(fs::exists(scratch.path() / "pack.cab")) << "-D deletes the cabinet after success";
}

INSTANTIATE_TEST_SUITE_P(Options, ToolRoundTrip,
                         ::testing::Values(BuildCase{"Default", {}}, BuildCase{"SingleFolder", {"-X"}},
                                           BuildCase{"NoCompress", {"-NOCOMPRESS"}}),
                         [](const ::testing::TestParamInfo<BuildCase>& info) { return std::string(info.param.name); });

// With -F every file is stored under its bare name, so a tree whose names
// are distinct comes back flat, each file with its bytes, time and
// read-only bit. -D's check compares against the same flattened names.
TEST(ToolRoundTrip, FlattenedTreeExpandsFlat) {
    testsupport::ScratchDir scratch;
    const fs::path source = scratch.path() / "src";
    expandtest::MakeSampleTree(source, 43);
    std::map<std::string, expandtest::FileState> expected;
    for (const auto& [path, state] : expandtest::Snapshot(source))
        ASSERT_TRUE(expected.emplace(fs::path(path).filename().string(), state).second) << path;
    ASSERT_GT(expected.size(), 4u);
    std::string output;
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " -F -D src pack.cab", &output), 0) << output;
    EXPECT_TRUE(expandtest::Snapshot(source).empty()) << "-D deletes every source file";
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " pack.cab out", &output), 0) << output;
    EXPECT_EQ(expandtest::Snapshot(scratch.path() / "out"), expected);
}

TEST(CabwriteSet, LzxWithReservesExpandsFromTheFirstCabinet) {
    testsupport::ScratchDir scratch;
    const fs::path source = scratch.path() / "src";
    expandtest::MakeSampleTree(source, 45);
    std::string output;
    ASSERT_EQ(RunIn(scratch.path(), expandtest::CabwriteBinary() +
                                        " -t lzx:16 -m 30000 --header-reserve 100 --folder-reserve 7 --data-reserve 5"
                                        " set.cab src", &output), 0) << output;
    ASSERT_TRUE(fs::exists(scratch.path() / "set3.cab"));
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " set.cab out", &output), 0) << output;
    ExpectSameFiles(scratch.path() / "out", source);
}

// A cabinet appended to an executable expands like the plain cabinet; only
// the executable's handles carry the offset, so plain cabinets continuing
// its set are read from their start.
TEST(Overlay, CabinetsAfterTheLastSectionExpandLikeThePlainOnes) {
    testsupport::ScratchDir scratch;
    expandtest::MakeSampleTree(scratch.path() / "src", 46);
    ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " src pack.cab"), 0);
    ASSERT_EQ(RunIn(scratch.path(), expandtest::CabwriteBinary() + " -m 100000 set.cab src"), 0);
    ASSERT_TRUE(fs::exists(scratch.path() / "set2.cab"));
    for (const char* name : {"pack.cab", "set.cab"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> image = expandtest::MakeExecutable(3);
        const std::vector<uint8_t> cabinet = testsupport::ReadFileBytes(scratch.path() / name);
        image.insert(image.end(), cabinet.begin(), cabinet.end());
        testsupport::WriteFileBytes(scratch.path() / name, image);
        std::string output;
        ASSERT_EQ(RunIn(scratch.path(), expandtest::TreepakBinary() + " " + name + " out", &output), 0) << output;
        ExpectSameFiles(scratch.path() / "out", scratch.path() / "src");
        fs::remove_all(scratch.path() / "out");
    }
}

}  // namespace

}  // namespace treepak
