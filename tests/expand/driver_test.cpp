// ExpandCabinet called in process: output paths, progress values, times and
// attributes, and cabinets whose blocks another deflate writer made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <ctime>
#include <string>
#include <vector>

#include "app/expand_cabinet.h"
#include "app/expand_files.h"
#include "expand_test_support.h"
#include "test_support.h"

namespace {

using expandtest::CabFile;
using expandtest::CabLayout;

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

TEST(ExpandDriver, NestedNamesProgressTimesAndAttributes) {
    Expansion expansion;
    CabFile first{"a.txt", Bytes("1")};
    first.attributes = 0x21;  // read-only, archive
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

    struct stat readOnly {}, plain {};
    ASSERT_EQ(stat((expansion.Out() / "a.txt").c_str(), &readOnly), 0);
    ASSERT_EQ(stat((expansion.Out() / "sub/deep/b.txt").c_str(), &plain), 0);
    EXPECT_EQ(readOnly.st_mode & 0222, 0u);
    EXPECT_NE(plain.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(plain.st_mode & 0111, 0u) << "the run-after-extraction flag must not reach the file";

    // Stored 2025-01-01 12:00:00 local time.
    struct tm local {};
    localtime_r(&plain.st_mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2025);
    EXPECT_EQ(local.tm_hour, 12);
    EXPECT_EQ(local.tm_min, 0);
    EXPECT_EQ(local.tm_sec, 0);
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

// Blocks made by zlib: levels and strategies, history across blocks.
TEST(ExpandDriver, CabinetsWithZlibMadeBlocks) {
    const std::vector<CabFile> files = {
        CabFile{"text.txt", testsupport::TextBytes(150000, 1)},
        CabFile{"noise.bin", testsupport::RandomBytes(40000, 2)},
        CabFile{"dir\\again.txt", testsupport::TextBytes(50000, 1)},  // repeats text.txt's start
    };
    for (auto [level, strategy] : {std::pair{1, Z_DEFAULT_STRATEGY}, std::pair{9, Z_DEFAULT_STRATEGY},
                                   std::pair{6, Z_FILTERED}, std::pair{6, Z_HUFFMAN_ONLY}, std::pair{6, Z_FIXED}}) {
        SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy);
        CabLayout coding;
        coding.zlibLevel = level;
        coding.zlibStrategy = strategy;
        Expansion expansion;
        ASSERT_EQ(expansion.Run(expandtest::BuildCabinet(files, coding)), 1);
        EXPECT_EQ(testsupport::ReadFileBytes(expansion.Out() / "text.txt"), files[0].data);
        EXPECT_EQ(testsupport::ReadFileBytes(expansion.Out() / "noise.bin"), files[1].data);
        EXPECT_EQ(testsupport::ReadFileBytes(expansion.Out() / "dir/again.txt"), files[2].data);
    }
}

}  // namespace
