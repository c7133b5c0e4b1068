#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/expand/expand_read_ahead.h"
#include "platform/file_io.h"
#include "test_support.h"

namespace treepak {

namespace {

int OpenForReading(const std::filesystem::path& path) {
    int32_t error = 0;
    return platform::OpenFile(path.c_str(), platform::OPEN_READ_ONLY, 0, &error);
}

TEST(ReadAhead, MatchesAPlainHandle) {
    testsupport::ScratchDir scratch;
    const uint32_t size = kReadAheadWindowSize * 3 + 12345;
    const std::vector<uint8_t> bytes = testsupport::RandomBytes(size, 7);
    testsupport::WriteFileBytes(scratch.path() / "f", bytes);
    const int plain = OpenForReading(scratch.path() / "f");
    const int handle = OpenForReading(scratch.path() / "f");
    ASSERT_GE(plain, 0);
    ASSERT_GE(handle, 0);
    ReadAheadFile file;
    file.Attach(handle, 0);

    testsupport::Rng rng(11);
    std::vector<uint8_t> expected(2 * kReadAheadWindowSize), got(2 * kReadAheadWindowSize);
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        int32_t error = 0;
        const uint32_t choice = rng.Below(10);
        if (choice < 6) {
            const uint32_t limits[] = {1, 300, 33000, 2 * kReadAheadWindowSize};
            const uint32_t count = rng.Below(limits[rng.Below(4)] + 1);
            const int32_t want = platform::ReadFile(plain, expected.data(), count, &error);
            ASSERT_EQ(file.Read(got.data(), count), want);
            ASSERT_TRUE(std::equal(expected.begin(), expected.begin() + want, got.begin()));
        } else {
            const int origin = static_cast<int>(choice - 6) % 3;
            const auto offset = static_cast<int64_t>(rng.Below(2 * size + 200)) - size - 100;
            const int64_t want = platform::SeekFile(plain, offset, origin, &error);
            ASSERT_EQ(file.Seek(offset, origin), want) << "origin " << origin << " offset " << offset;
        }
    }
    EXPECT_EQ(file.Seek(0, 3), -1) << "no such origin";
    file.Detach();
    int32_t error = 0;
    platform::CloseFile(plain, &error);
    platform::CloseFile(handle, &error);
}

// The windows outlive a handle (the driver reuses them for the next
// cabinet); nothing read through the old handle may show through.
TEST(ReadAhead, AttachingAnotherFileForgetsTheWindows) {
    testsupport::ScratchDir scratch;
    testsupport::WriteFileText(scratch.path() / "a", std::string(1000, 'a'));
    testsupport::WriteFileText(scratch.path() / "b", std::string(10, 'b'));
    ReadAheadFile file;
    const int a = OpenForReading(scratch.path() / "a");
    file.Attach(a, 0);
    char buffer[20] = {};
    ASSERT_EQ(file.Read(buffer, 20), 20);
    file.Detach();
    const int b = OpenForReading(scratch.path() / "b");
    file.Attach(b, 4);
    EXPECT_EQ(file.Read(buffer, 20), 6);
    EXPECT_EQ(std::string(buffer, 6), "bbbbbb");
    EXPECT_EQ(file.Seek(0, platform::SEEK_FROM_START), 0);
    EXPECT_EQ(file.Read(buffer, 20), 10);
    EXPECT_EQ(std::string(buffer, 10), std::string(10, 'b'));
    file.Detach();
    int32_t error = 0;
    platform::CloseFile(a, &error);
    platform::CloseFile(b, &error);
}

}  // namespace

}  // namespace treepak
