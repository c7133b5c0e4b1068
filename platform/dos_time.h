// Packed DOS dates and times in local time, and the file times they stand
// for. Date: bits 9-15 year since 1980, bits 5-8 month, bits 0-4 day. Time:
// bits 11-15 hours, bits 5-10 minutes, bits 0-4 seconds / 2.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

// Times outside what the packed form holds (1980-01-01 00:00:00 to
// 2107-12-31 23:59:58) are clamped to its ends; odd seconds round down.
void UnixTimeToDosDateTime(int64_t unixTime, uint16_t* date, uint16_t* time);
// The same with the UTC calendar time, whatever the local zone.
void UnixTimeToUtcDosDateTime(int64_t unixTime, uint16_t* date, uint16_t* time);
// The moment a UTC calendar time names; false for no real date or time
// (month 13, February 30, hour 24...).
bool UtcCalendarToUnixTime(int year, int month, int day, int hour, int minute, int second, int64_t* unixTime);
// False for a packed value that names no real moment (month 0, hour 24...).
bool DosDateTimeToUnixTime(uint16_t date, uint16_t time, int64_t* unixTime);

// The fields of a packed date and time as they stand (not checked).
struct DosDateTimeFields {
    int year, month, day, hour, minute, second;
};
DosDateTimeFields UnpackDosDateTime(uint16_t date, uint16_t time);

// Modification time of an open file.
bool GetFileDosDateTime(int32_t handle, uint16_t* date, uint16_t* time);
// Sets the modification time of an open file; the access time stays.
bool SetFileDosDateTime(int32_t handle, uint16_t date, uint16_t time);

// What a writer needs of a source file before reading it: its packed
// modification time and its attributes (see attributes.h). False when the
// path is not a readable regular file.
struct SourceFileInfo {
    uint16_t date;
    uint16_t time;
    uint32_t attributes;
};
bool GetSourceFileInfo(const char* path, SourceFileInfo* info);

}  // namespace platform

}  // namespace treepak
