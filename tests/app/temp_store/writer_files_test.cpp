// The writer's file table against a real file: the same operations must give
// the same answers and the same bytes whether a temporary file stays in
// memory or overflows to disk midway, at its own limit or because the shared
// pool ran dry, and when it moves to disk whole; names behave as on disk,
// and nothing is left behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <sys/stat.h>

#include "app/temp_store/writer_files.h"
#include "platform/file_io.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kTempFlags =
    platform::OPEN_BINARY | platform::OPEN_EXCLUSIVE | platform::OPEN_CREATE | platform::OPEN_READ_WRITE;
constexpr int32_t kMode = platform::MODE_READ | platform::MODE_WRITE;

struct Limits {
    const char* name;
    size_t pool;
    uint32_t file;
    bool spills;
    bool hugePages;
};

class SpooledAgainstRealFile : public testing::TestWithParam<Limits> {};

TEST_P(SpooledAgainstRealFile, SameAnswersAndSameBytes) {
    testsupport::ScratchDir dir;
    const std::string spooled = (dir.path() / "spooled").string();
    const std::string real = (dir.path() / "real").string();
    WriterFiles files(GetParam().pool, GetParam().file, 4096, GetParam().hugePages);
    int32_t error = 0;
    ASSERT_TRUE(files.IssueTempName(spooled));
    const int32_t s = files.Open(spooled.c_str(), kTempFlags, kMode, &error);
    const int32_t r = platform::OpenFile(real.c_str(), kTempFlags, kMode, &error);
    ASSERT_TRUE(WriterFiles::Owns(s));
    ASSERT_GE(r, 0);

    std::mt19937 random(5);
    const std::vector<uint8_t> source = testsupport::RandomBytes(200000, 9);
    std::vector<uint8_t> got(200000), want(200000);
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE(step);
        // Now and then nothing at all, which must not extend the file.
        const uint32_t size = random() % 6;
        const uint32_t count = size == 0 ? 0 : size < 3 ? random() % 70000 : random() % 300;
        int32_t e1 = 0, e2 = 0;
        switch (random() % 4) {
            case 0:
            case 1:
                ASSERT_EQ(files.Write(s, source.data(), count, &e1), platform::WriteFile(r, source.data(), count, &e2));
                break;
            case 2:
                ASSERT_EQ(files.Read(s, got.data(), count, &e1), platform::ReadFile(r, want.data(), count, &e2));
                ASSERT_TRUE(std::equal(got.begin(), got.begin() + count, want.begin()));
                break;
            default: {
                // Now and then past the end, so that a later write leaves a gap.
                const int origin = static_cast<int>(random() % 3);
                const int64_t offset = static_cast<int64_t>(random() % 90000) - (origin == 0 ? 0 : 45000);
                ASSERT_EQ(files.Seek(s, offset, origin, &e1), platform::SeekFile(r, offset, origin, &e2));
            }
        }
    }
    EXPECT_EQ(files.Seek(s, 0, platform::SEEK_FROM_END, &error), platform::SeekFile(r, 0, platform::SEEK_FROM_END, &error));
    EXPECT_EQ(files.Close(s, &error), 0);
    EXPECT_EQ(platform::CloseFile(r, &error), 0);
    EXPECT_EQ(fs::exists(spooled), GetParam().spills);
    // An in-memory file shows its bytes on disk when opened another way.
    const int32_t again = files.Open(spooled.c_str(), platform::OPEN_READ_ONLY, 0, &error);
    ASSERT_GE(again, 0);
    EXPECT_EQ(files.Close(again, &error), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(spooled), testsupport::ReadFileBytes(real));
    EXPECT_EQ(files.Delete(spooled.c_str(), &error), 0);
    EXPECT_FALSE(fs::exists(spooled));
    EXPECT_EQ(files.OpenCount(), 0u);
    EXPECT_EQ(files.HeldCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Limits, SpooledAgainstRealFile,
                         testing::Values(Limits{"InMemory", 64u << 20, 32u << 20, false, false},
                                         Limits{"InHugePages", 64u << 20, 32u << 20, false, true},
                                         Limits{"OverflowsAtItsOwnLimit", 64u << 20, 150000, true, false},
                                         Limits{"OverflowsWhenThePoolIsDry", 3 * SpoolPool::kChunkSize, 32u << 20, true, false},
                                         Limits{"OverflowsFromHugePages", 3 * SpoolPool::kChunkSize, 32u << 20, true, true}),
                         [](const testing::TestParamInfo<Limits>& info) { return std::string(info.param.name); });

TEST(WriterFiles, NamesLiveInMemoryUntilTheFileGrowsAndAreNeverReused) {
    testsupport::ScratchDir dir;
    const std::string name = (dir.path() / "xxtemp").string();
    WriterFiles files(1u << 20, 100000, 4096);
    int32_t error = 0;
    ASSERT_TRUE(files.IssueTempName(name));
    const int32_t h = files.Open(name.c_str(), kTempFlags, kMode, &error);
    ASSERT_GE(h, 0);
    const std::vector<uint8_t> bytes = testsupport::RandomBytes(60000, 1);
    ASSERT_EQ(files.Write(h, bytes.data(), 60000, &error), 60000);
    EXPECT_FALSE(fs::exists(name));
    // Taken while held: neither handed out again nor created again.
    EXPECT_FALSE(files.IssueTempName(name));
    EXPECT_EQ(files.Open(name.c_str(), kTempFlags, kMode, &error), -1);
    EXPECT_EQ(error, EEXIST);
    // Past the limit the later bytes go to a file under its name, private to
    // the user; the first stay in memory, so the name is still held.
    ASSERT_EQ(files.Write(h, bytes.data(), 60000, &error), 60000);
    ASSERT_TRUE(fs::exists(name));
    EXPECT_EQ(fs::status(name).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(files.HeldCount(), 1u);
    EXPECT_EQ(files.Close(h, &error), 0);
    EXPECT_EQ(fs::file_size(name), 120000u);
    EXPECT_EQ(files.Delete(name.c_str(), &error), 0);
    EXPECT_FALSE(fs::exists(name));

    // Deleted while open: the bytes stay readable until the close.
    ASSERT_TRUE(files.IssueTempName(name));
    const int32_t k = files.Open(name.c_str(), kTempFlags, kMode, &error);
    ASSERT_EQ(files.Write(k, "abc", 3, &error), 3);
    EXPECT_EQ(files.Delete(name.c_str(), &error), 0);
    EXPECT_TRUE(files.IssueTempName(name));
    char back[3];
    EXPECT_EQ(files.Seek(k, 0, platform::SEEK_FROM_START, &error), 0);
    EXPECT_EQ(files.Read(k, back, 3, &error), 3);
    EXPECT_EQ(files.Close(k, &error), 0);
    EXPECT_EQ(files.Close(k, &error), -1);
    EXPECT_EQ(error, EBADF);
}

TEST(WriterFiles, AFileAlreadyAtTheNameFailsTheMoveAndIsLeftAlone) {
    testsupport::ScratchDir dir;
    const std::string name = (dir.path() / "xxclash").string();
    WriterFiles files(1u << 20, 1000, 4096);
    int32_t error = 0;
    ASSERT_TRUE(files.IssueTempName(name));
    const int32_t h = files.Open(name.c_str(), kTempFlags, kMode, &error);
    ASSERT_EQ(files.Write(h, "kept", 4, &error), 4);
    testsupport::WriteFileText(name, "someone else's");
    const std::vector<uint8_t> big(2000, 7);
    EXPECT_EQ(files.Write(h, big.data(), 2000, &error), -1);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(testsupport::ReadFileBytes(name).size(), 14u);
    // The file is still whole in memory; deleting it touches only it.
    char back[4];
    EXPECT_EQ(files.Seek(h, 0, platform::SEEK_FROM_START, &error), 0);
    EXPECT_EQ(files.Read(h, back, 4, &error), 4);
    EXPECT_EQ(std::string(back, 4), "kept");
    EXPECT_EQ(files.Close(h, &error), 0);
    EXPECT_EQ(files.Delete(name.c_str(), &error), 0);
    EXPECT_TRUE(fs::exists(name));
}

}  // namespace

}  // namespace treepak
