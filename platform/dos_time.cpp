#include "platform/dos_time.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/attributes.h"

namespace treepak {

namespace platform {

namespace {

constexpr int kDosEpochYear = 1980;
constexpr int kDosLastYear = kDosEpochYear + 127;
constexpr int kTmYearBase = 1900;

constexpr int kYearShift = 9, kMonthShift = 5;
constexpr int kHourShift = 11, kMinuteShift = 5;
constexpr uint16_t kFiveBits = 0x1F, kFourBits = 0x0F, kSixBits = 0x3F, kSevenBits = 0x7F;

uint16_t PackDate(int year, int month, int day) {
    return static_cast<uint16_t>(((year - kDosEpochYear) << kYearShift) | (month << kMonthShift) | day);
}
uint16_t PackTime(int hour, int minute, int second) {
    return static_cast<uint16_t>((hour << kHourShift) | (minute << kMinuteShift) | (second / 2));
}

// A broken-down time with the fields a calendar date and clock time name.
struct tm CalendarTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm calendar = {};
    calendar.tm_year = year - kTmYearBase;
    calendar.tm_mon = month - 1;
    calendar.tm_mday = day;
    calendar.tm_hour = hour;
    calendar.tm_min = minute;
    calendar.tm_sec = second;
    return calendar;
}

// Packs a broken-down time, clamped to what the packed form holds.
void PackCalendarTime(const struct tm* calendar, uint16_t* date, uint16_t* time) {
    if (calendar == nullptr || calendar->tm_year + kTmYearBase < kDosEpochYear) {
        *date = PackDate(kDosEpochYear, 1, 1);
        *time = PackTime(0, 0, 0);
        return;
    }
    if (calendar->tm_year + kTmYearBase > kDosLastYear) {
        *date = PackDate(kDosLastYear, 12, 31);
        *time = PackTime(23, 59, 58);
        return;
    }
    // A leap second (tm_sec 60) packs as 58 rather than overflowing.
    int second = calendar->tm_sec > 59 ? 59 : calendar->tm_sec;
    *date = PackDate(calendar->tm_year + kTmYearBase, calendar->tm_mon + 1, calendar->tm_mday);
    *time = PackTime(calendar->tm_hour, calendar->tm_min, second);
}

}  // namespace

void UnixTimeToDosDateTime(int64_t unixTime, uint16_t* date, uint16_t* time) {
    time_t t = static_cast<time_t>(unixTime);
    struct tm local;
    PackCalendarTime(localtime_r(&t, &local), date, time);
}

void UnixTimeToUtcDosDateTime(int64_t unixTime, uint16_t* date, uint16_t* time) {
    time_t t = static_cast<time_t>(unixTime);
    struct tm utc;
    PackCalendarTime(gmtime_r(&t, &utc), date, time);
}

bool UtcCalendarToUnixTime(int year, int month, int day, int hour, int minute, int second, int64_t* unixTime) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return false;
    struct tm utc = CalendarTime(year, month, day, hour, minute, second);
    const time_t t = timegm(&utc);
    // timegm normalises days past the month's end as mktime does.
    if (utc.tm_mday != day) return false;
    *unixTime = static_cast<int64_t>(t);
    return true;
}

DosDateTimeFields UnpackDosDateTime(uint16_t date, uint16_t time) {
    return DosDateTimeFields{kDosEpochYear + ((date >> kYearShift) & kSevenBits), (date >> kMonthShift) & kFourBits,
                             date & kFiveBits, (time >> kHourShift) & kFiveBits, (time >> kMinuteShift) & kSixBits,
                             (time & kFiveBits) * 2};
}

bool DosDateTimeToUnixTime(uint16_t date, uint16_t time, int64_t* unixTime) {
    const auto [year, month, day, hour, minute, second] = UnpackDosDateTime(date, time);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    struct tm local = CalendarTime(year, month, day, hour, minute, second);
    local.tm_isdst = -1;  // let the zone rules decide, as the wall clock shows it
    time_t t = mktime(&local);
    // mktime normalises days past the month's end (February 31); such a
    // date is no real moment.
    if (t == static_cast<time_t>(-1) || local.tm_mday != day) return false;
    *unixTime = static_cast<int64_t>(t);
    return true;
}

bool GetFileDosDateTime(int32_t handle, uint16_t* date, uint16_t* time) {
    struct stat info;
    if (fstat(handle, &info) != 0) return false;
    UnixTimeToDosDateTime(static_cast<int64_t>(info.st_mtim.tv_sec), date, time);
    return true;
}

bool SetFileDosDateTime(int32_t handle, uint16_t date, uint16_t time) {
    int64_t unixTime;
    if (!DosDateTimeToUnixTime(date, time, &unixTime)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(unixTime);
    times[1].tv_nsec = 0;
    return futimens(handle, times) == 0;
}

bool GetSourceFileInfo(const char* path, SourceFileInfo* info) {
    // Non-blocking, so that a FIFO put in place of a listed file cannot
    // stall the open; such a file is refused below anyway.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat status;
    bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (ok) {
        UnixTimeToDosDateTime(static_cast<int64_t>(status.st_mtim.tv_sec), &info->date, &info->time);
        info->attributes = ATTRIBUTE_ARCHIVE | ((status.st_mode & S_IWUSR) ? 0 : ATTRIBUTE_READONLY);
    }
    ::close(fd);
    return ok;
}

}  // namespace platform

}  // namespace treepak
