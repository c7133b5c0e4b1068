// cabwrite end to end: the binary is run on real trees and its cabinets are
// checked with the test-side parser.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "cab_parser.h"
#include "cabinet/format.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ParsedCabinet;

namespace {

class CabwriteTest : public ::testing::Test {
protected:
    testsupport::ScratchDir scratch;
    fs::path in, out, tmp;
    std::map<std::string, std::vector<uint8_t>> sources;  // by stored name

    void SetUp() override {
        in = scratch.path() / "in";
        out = scratch.path() / "out";
        tmp = scratch.path() / "tmp";
        fs::create_directories(in / "sub" / "deeper");
        fs::create_directories(out);
        fs::create_directories(tmp);
        Put("alpha.txt", "alpha.txt", testsupport::TextBytes(70000, 1));
        Put("random.bin", "random.bin", testsupport::RandomBytes(45000, 2));
        Put("sub/empty", "sub\\empty", {});
        Put("sub/deeper/run.dat", "sub\\deeper\\run.dat", std::vector<uint8_t>(90000, 'z'));
    }
    void TearDown() override {
        // The engine's temporary files go to TMP and must all be gone.
        EXPECT_TRUE(fs::is_empty(tmp));
    }

    void Put(const std::string& path, const std::string& stored, const std::vector<uint8_t>& bytes) {
        testsupport::WriteFileBytes(in / path, bytes);
        sources[stored] = bytes;
    }

    // Runs cabwrite with TMP pointing into the scratch directory; stderr is
    // captured with stdout.
    int Run(const std::string& args, std::string* output = nullptr) {
        const std::string command = "TMP='" + tmp.string() + "' '" TREEPAK_BINARY_DIR
                                    "/tools/cabwrite' " + args + " 2>&1";
        std::string captured;
        const int status = testsupport::RunCommand(command, &captured);
        if (output != nullptr) *output = captured;
        return status;
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
    void ExpectSources(const std::vector<ParsedCabinet>& set) {
        std::map<std::string, std::vector<uint8_t>> files;
        ASSERT_EQ(testsupport::ExtractSet(set, &files), "");
        EXPECT_EQ(files.size(), sources.size());
        for (const auto& [name, bytes] : sources) EXPECT_TRUE(files[name] == bytes) << name;
    }
    std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }
};

}  // namespace

TEST_F(CabwriteTest, HelpAndUsageErrors) {
    std::string text;
    EXPECT_EQ(Run("--help", &text), 0);
    EXPECT_NE(text.find("Usage: cabwrite"), std::string::npos);
    for (const char* bad : {"", "only.cab", "-t lzx:14 a.cab x", "-t lzx:22 a.cab x",
                            "-t quantum a.cab x", "-m -5 a.cab x", "-m 12k a.cab x",
                            "--data-reserve 256 a.cab x", "--header-reserve 65536 a.cab x",
                            "-s 70000 a.cab x", "-n part.cab a.cab x", "-D 'V%s%d' a.cab x",
                            "--bogus a.cab x", "-t"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Run(bad, &text), 2);
        EXPECT_NE(text.find("cabwrite: "), std::string::npos);
    }
}

// Names in walk order (sorted by bytes), attributes from the files; a name
// with bytes of 0x80 or more is UTF-8 and its entry says so.
TEST_F(CabwriteTest, TreeIntoOneDeflateCabinet) {
    chmod((in / "random.bin").c_str(), 0444);
    Put("sub/gr\xC3\xBC\xC3\x9F" "e.txt", "sub\\gr\xC3\xBC\xC3\x9F" "e.txt", testsupport::TextBytes(500, 3));
    ASSERT_EQ(Run(Q(out / "tree.cab") + " " + Q(in)), 0);
    auto set = ParseSet({"tree.cab"});
    ExpectSources(set);
    const ParsedCabinet& cab = set[0];
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
    const std::string args = "-t none -m 60000 -f --header-reserve 20 --folder-reserve 3 "
                             "--data-reserve 2 -s 777 -d FIRST -D 'VOL%d' -n 'part%d.cab' "
                             "-x alpha.txt " + Q(out / "set.cab") + " " + Q(in);
    std::string text;
    ASSERT_EQ(Run(args, &text), 0) << text;
    auto set = ParseSet({"set.cab", "part2.cab", "part3.cab", "part4.cab"});
    ExpectSources(set);
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

TEST_F(CabwriteTest, FailuresLeaveNoCabinet) {
    std::string text;
    EXPECT_EQ(Run(Q(out / "missing-dir" / "x.cab") + " " + Q(in), &text), 1);
    EXPECT_NE(text.find("code 6 [Could not create cabinet file]"), std::string::npos) << text;
    // A limit too small for the second cabinet fails after the first was
    // written; the partial set is removed again.
    EXPECT_EQ(Run("-t none -m 90 " + Q(out / "tiny.cab") + " " + Q(in / "alpha.txt"), &text), 1);
    EXPECT_TRUE(fs::is_empty(out)) << text;
    EXPECT_EQ(Run(Q(out / "x.cab") + " " + Q(in / "nothing-here"), &text), 1);
    EXPECT_TRUE(fs::is_empty(out));
}
