#include "stored_times.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "app/common/path_helpers.h"
#include "cabinet/format.h"
#include "platform/dos_time.h"
#include "platform/environment.h"

namespace treepak {

namespace {

const std::string kDateOnly = "9999-99-99";
const std::string kDateAndTime = "9999-99-99 99:99:99";

constexpr uint16_t kFileAttributes = FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM | FILE_ATTR_ARCHIVE;

bool ParseSeconds(const std::string& text, int64_t* seconds) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *seconds = value;
    return true;
}

}  // namespace

bool ParseTimeText(const std::string& text, int64_t* seconds) {
    if (!text.empty() && text[0] == '@') return ParseSeconds(text.substr(1), seconds);
    // '9' stands for any digit.
    const std::string shape = text.size() == kDateOnly.size() ? kDateOnly : kDateAndTime;
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (shape[i] == '9' ? !digit : text[i] != shape[i]) return false;
    }
    auto field = [&](size_t at, size_t width) { return std::atoi(text.substr(at, width).c_str()); };
    const bool hasTime = text.size() == kDateAndTime.size();
    return platform::UtcCalendarToUnixTime(field(0, 4), field(5, 2), field(8, 2), hasTime ? field(11, 2) : 0,
                                           hasTime ? field(14, 2) : 0, hasTime ? field(17, 2) : 0, seconds);
}

bool ParseAttributeMode(const std::string& text, AttributeMode* mode) {
    if (EqualsIgnoreCase(text, "keep")) *mode = AttributeMode::Keep;
    else if (EqualsIgnoreCase(text, "archive")) *mode = AttributeMode::Archive;
    else if (EqualsIgnoreCase(text, "none")) *mode = AttributeMode::None;
    else return false;
    return true;
}

bool ReadSourceDateEpoch(TimePolicy* policy, std::string* error) {
    std::string text;
    if (!platform::GetEnvironmentValue("SOURCE_DATE_EPOCH", &text)) return true;
    if (!ParseSeconds(text, &policy->clampTime) || policy->clampTime < 0) {
        *error = "SOURCE_DATE_EPOCH '" + text + "' is not a number of seconds since 1970";
        return false;
    }
    policy->clamped = true;
    return true;
}

bool StoredTime(const TimePolicy& policy, int64_t modified, uint16_t* date, uint16_t* time) {
    if (!policy.fixed && !policy.clamped) return false;
    int64_t moment = policy.fixed ? policy.fixedTime : modified;
    if (policy.clamped) moment = std::min(moment, policy.clampTime);
    platform::UnixTimeToUtcDosDateTime(moment, date, time);
    return true;
}

uint16_t StoredAttributes(AttributeMode mode, uint16_t attributes) {
    const uint16_t kept = attributes & static_cast<uint16_t>(~kFileAttributes);
    switch (mode) {
        case AttributeMode::Keep: return attributes;
        case AttributeMode::Archive: return kept | FILE_ATTR_ARCHIVE;
        case AttributeMode::None: return kept;
    }
    return attributes;
}

}  // namespace treepak
