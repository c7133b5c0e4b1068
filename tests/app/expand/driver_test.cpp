#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/expand/expand_cabinet.h"
#include "app/expand/expand_files.h"
#include "expand_test_support.h"
#include "test_support.h"

namespace treepak {

namespace {

using expandtest::CabFile;

struct ProgressCall {
    std::string name;
    int32_t value;
    int32_t scale;
};

void RecordProgress(void* context, const char* fileName, int32_t value, int32_t scale) {
    static_cast<std::vector<ProgressCall>*>(context)->push_back({fileName, value, scale});
}

struct Expansion {
    testsupport::ScratchDir scratch;
    std::vector<ProgressCall> progress;

    int Run(const std::vector<uint8_t>& cabinet, const std::string& cabinetName = "pack.cab") {
        testsupport::WriteFileBytes(scratch.path() / cabinetName, cabinet);
        return ExpandCabinet((scratch.path() / cabinetName).c_str(), (scratch.path() / "out").c_str(),
                             RecordProgress, &progress);
    }
    std::filesystem::path Out() const { return scratch.path() / "out"; }
};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(ExpandDriver, NestedNamesProgressAndTheRunFlag) {
    Expansion expansion;
    CabFile first{"a.txt", Bytes("1")};
    CabFile second{"sub\\deep\\b.txt", Bytes("abc")};
    second.attributes = 0x60;  // archive, run after extraction
    ASSERT_EQ(expansion.Run(expandtest::BuildCabinet({first, second})), 1);

    EXPECT_EQ(testsupport::ReadFileBytes(expansion.Out() / "a.txt"), Bytes("1"));
    EXPECT_EQ(testsupport::ReadFileBytes(expansion.Out() / "sub/deep/b.txt"), Bytes("abc"));

    ASSERT_EQ(expansion.progress.size(), 4u);
    const int32_t expected[] = {0, 250, 250, 1000};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(expansion.progress[i].value, expected[i]) << "call " << i;
        EXPECT_EQ(expansion.progress[i].scale, 1000);
    }
    EXPECT_EQ(expansion.progress[2].name, "sub\\deep\\b.txt");

    // Times and the read-only bit are checked by the round trips; the
    // run-after-extraction flag must not make the file executable.
    struct stat plain {};
    ASSERT_EQ(stat((expansion.Out() / "sub/deep/b.txt").c_str(), &plain), 0);
    EXPECT_EQ(plain.st_mode & 0111, 0u);
}

TEST(ExpandDriver, EmptyCabinetAndEmptyFiles) {
    Expansion empty;
    EXPECT_EQ(empty.Run(expandtest::BuildCabinet({})), 1);
    EXPECT_TRUE(empty.progress.empty());
    Expansion zeroSized;
    ASSERT_EQ(zeroSized.Run(expandtest::BuildCabinet({CabFile{"empty", {}}})), 1);
    ASSERT_EQ(zeroSized.progress.size(), 2u);
    EXPECT_EQ(zeroSized.progress[0].value, -1);  // nothing to measure against
    EXPECT_TRUE(std::filesystem::is_regular_file(zeroSized.Out() / "empty"));
}

// The decoder's spill file "*" is a nameless file in the temporary
// directory, never a file called "*".
TEST(ExpandDriver, SpillFileHasNoName) {
    testsupport::ScratchDir scratch;
    const char* previous = std::getenv("TMP");
    const std::string saved = previous ? previous : "";
    setenv("TMP", scratch.str().c_str(), 1);
    const int handle = ExpandOpen("*", 0x8000 | 0x0100 | 0x0002, 0x0180);
    previous ? setenv("TMP", saved.c_str(), 1) : unsetenv("TMP");
    ASSERT_GE(handle, 0);
    char back[5] = {};
    EXPECT_EQ(ExpandWrite(handle, "spill", 5), 5);
    EXPECT_EQ(ExpandSeek(handle, 0, 0), 0);
    EXPECT_EQ(ExpandRead(handle, back, 5), 5);
    EXPECT_EQ(std::string(back, 5), "spill");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
    EXPECT_FALSE(std::filesystem::exists("*"));
    EXPECT_EQ(ExpandClose(handle), 0);
}

}  // namespace

}  // namespace treepak
