// Packed date/time conversion in a fixed zone with daylight saving, so that
// "local time" is pinned; file times and the source-file checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "test_support.h"

namespace treepak {

using namespace platform;

namespace {

class DosTime : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

constexpr uint16_t Date(int y, int m, int d) { return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
constexpr uint16_t Time(int h, int m, int s) { return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2)); }

}  // namespace

TEST_F(DosTime, PacksLocalTimeClampsAndRefusesNonMoments) {
    const struct { int64_t unix; uint16_t date, time; bool back; } cases[] = {
        {1719828030, Date(2024, 7, 1), Time(12, 0, 30), true},   // summer: UTC + 2
        {1704067199, Date(2024, 1, 1), Time(0, 59, 58), false},  // winter: UTC + 1, odd seconds round down
        {0, Date(1980, 1, 1), 0, false},                         // clamped to the range
        {5000000000, Date(2107, 12, 31), Time(23, 59, 58), false},
    };
    for (const auto& c : cases) {
        uint16_t date = 0, time = 0;
        UnixTimeToDosDateTime(c.unix, &date, &time);
        EXPECT_EQ(date, c.date) << c.unix;
        EXPECT_EQ(time, c.time) << c.unix;
        int64_t back = 0;
        if (c.back) {
            EXPECT_TRUE(DosDateTimeToUnixTime(date, time, &back) && back == c.unix);
        }
    }
    int64_t t;
    for (auto [date, time] : {std::pair{Date(2020, 0, 1), 0}, {Date(2020, 13, 1), 0}, {Date(2020, 1, 0), 0},
                              {Date(2021, 2, 29), 0}, {Date(2020, 1, 1), Time(24, 0, 0)}, {Date(2020, 1, 1), Time(0, 60, 0)}})
        EXPECT_FALSE(DosDateTimeToUnixTime(date, static_cast<uint16_t>(time), &t)) << date << " " << time;
    EXPECT_TRUE(DosDateTimeToUnixTime(Date(2020, 2, 29), Time(23, 59, 58), &t));
}

TEST_F(DosTime, FileTimesAndSourceFileInfo) {
    testsupport::ScratchDir dir;
    std::string path = (dir.path() / "f").string();
    testsupport::WriteFileText(path, "x");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    int32_t error = 0;
    int32_t h = OpenFile(path.c_str(), OPEN_READ_WRITE, 0, &error);
    ASSERT_GE(h, 0);
    ASSERT_TRUE(SetFileDosDateTime(h, Date(2024, 7, 1), Time(12, 0, 0)));
    EXPECT_FALSE(SetFileDosDateTime(h, Date(2024, 0, 1), 0));
    uint16_t date = 0, time = 0;
    ASSERT_TRUE(GetFileDosDateTime(h, &date, &time));
    EXPECT_EQ(date, Date(2024, 7, 1));
    EXPECT_EQ(time, Time(12, 0, 0));
    CloseFile(h, &error);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1719828000);
    EXPECT_EQ(info.st_atim.tv_sec, 1000000000) << "the access time is kept";

    chmod(path.c_str(), 0444);
    SourceFileInfo source = {};
    ASSERT_TRUE(GetSourceFileInfo(path.c_str(), &source));
    EXPECT_EQ(source.attributes, 0x21u);
    std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& other : {dir.str(), fifo, (dir.path() / "missing").string()})
        EXPECT_FALSE(GetSourceFileInfo(other.c_str(), &source)) << other;  // and a fifo does not hang
}

}  // namespace treepak
