// The times and attributes cabwrite stores. By default an entry carries its
// file's modification time as the local clock showed it, and the file's own
// attributes. For reproducible output, --mtime sets every time and
// SOURCE_DATE_EPOCH clamps every time to that moment; either one makes the
// stored date and time the UTC calendar time, so the local zone no longer
// matters. --attributes replaces what the files' permissions say.
#pragma once

#include <cstdint>
#include <string>

namespace treepak {

enum class AttributeMode { Keep, Archive, None };

struct TimePolicy {
    bool fixed = false;  // every entry gets fixedTime
    int64_t fixedTime = 0;
    bool clamped = false;  // no entry is later than clampTime
    int64_t clampTime = 0;
};

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" (UTC) or "@SECONDS".
bool ParseTimeText(const std::string& text, int64_t* seconds);
// "keep", "archive" or "none", in any case.
bool ParseAttributeMode(const std::string& text, AttributeMode* mode);

// Adds the clamp of SOURCE_DATE_EPOCH when it is set; false with a message
// when it is set to something other than a number of seconds.
bool ReadSourceDateEpoch(TimePolicy* policy, std::string* error);

// The packed date and time stored for a file modified at `modified`; false
// when the policy leaves the file's own local time.
bool StoredTime(const TimePolicy& policy, int64_t modified, uint16_t* date, uint16_t* time);

// The attribute word stored for a file that reports `attributes`; bits
// other than the file attributes (the UTF-8 name mark) stay.
uint16_t StoredAttributes(AttributeMode mode, uint16_t attributes);

}  // namespace treepak
