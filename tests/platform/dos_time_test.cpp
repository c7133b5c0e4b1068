#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "test_support.h"

using namespace platform;

namespace {

// Runs the tests in a fixed zone with daylight saving, so that "local time"
// is pinned.
class DosTime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        saved_ = old ? old : "";
        hadTz_ = old != nullptr;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_) setenv("TZ", saved_.c_str(), 1); else unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadTz_ = false;
};

constexpr uint16_t Date(int y, int m, int d) { return static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
constexpr uint16_t Time(int h, int m, int s) { return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2)); }

}  // namespace

TEST_F(DosTime, PacksLocalTime) {
    // 2024-07-01 10:00:30 UTC is 12:00:30 in summer time.
    uint16_t date = 0, time = 0;
    UnixTimeToDosDateTime(1719828030, &date, &time);
    EXPECT_EQ(date, Date(2024, 7, 1));
    EXPECT_EQ(time, Time(12, 0, 30));
    int64_t back = 0;
    ASSERT_TRUE(DosDateTimeToUnixTime(date, time, &back));
    EXPECT_EQ(back, 1719828030);

    // Winter: one hour ahead of UTC; odd seconds round down.
    UnixTimeToDosDateTime(1704067199, &date, &time);  // 2023-12-31 23:59:59 UTC
    EXPECT_EQ(date, Date(2024, 1, 1));
    EXPECT_EQ(time, Time(0, 59, 58));
}

TEST_F(DosTime, ClampsOutsideTheRange) {
    uint16_t date = 0, time = 0;
    UnixTimeToDosDateTime(0, &date, &time);
    EXPECT_EQ(date, Date(1980, 1, 1));
    EXPECT_EQ(time, 0);
    UnixTimeToDosDateTime(int64_t{5000000000}, &date, &time);  // year 2128
    EXPECT_EQ(date, Date(2107, 12, 31));
    EXPECT_EQ(time, Time(23, 59, 58));
}

TEST_F(DosTime, RefusesPackedValuesThatNameNoMoment) {
    int64_t t;
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2020, 0, 1), 0, &t));
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2020, 13, 1), 0, &t));
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2020, 1, 0), 0, &t));
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2021, 2, 29), 0, &t));
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2020, 1, 1), Time(24, 0, 0), &t));
    EXPECT_FALSE(DosDateTimeToUnixTime(Date(2020, 1, 1), Time(0, 60, 0), &t));
    EXPECT_TRUE(DosDateTimeToUnixTime(Date(2020, 2, 29), Time(23, 59, 58), &t));
}

TEST_F(DosTime, SetsModificationTimeAndKeepsAccessTime) {
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
    EXPECT_EQ(info.st_atim.tv_sec, 1000000000);
}

TEST_F(DosTime, SourceFileInfoRefusesWhatIsNotARegularFile) {
    testsupport::ScratchDir dir;
    std::string path = (dir.path() / "f").string();
    testsupport::WriteFileText(path, "x");
    chmod(path.c_str(), 0444);
    SourceFileInfo info = {};
    ASSERT_TRUE(GetSourceFileInfo(path.c_str(), &info));
    EXPECT_EQ(info.attributes, 0x21u);
    EXPECT_FALSE(GetSourceFileInfo(dir.str().c_str(), &info));
    std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(GetSourceFileInfo(fifo.c_str(), &info));  // and does not hang
    EXPECT_FALSE(GetSourceFileInfo((dir.path() / "missing").c_str(), &info));
}
