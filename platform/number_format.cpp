#include "platform/number_format.h"

#include <climits>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace treepak {

namespace platform {

NumberFormat UserNumberFormat() {
    NumberFormat format{"", "", "."};
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_NUMERIC"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    if (name == nullptr) return format;
    locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return format;
    format.thousandsSeparator = nl_langinfo_l(THOUSEP, locale);
    format.grouping = nl_langinfo_l(GROUPING, locale);
    format.decimalSeparator = nl_langinfo_l(RADIXCHAR, locale);
    freelocale(locale);
    return format;
}

std::string GroupDigits(const std::string& digits, const NumberFormat& format) {
    size_t signLength = (!digits.empty() && digits[0] == '-') ? 1 : 0;
    std::string body = digits.substr(signLength);
    if (format.thousandsSeparator.empty() || format.grouping.empty()) return digits;

    // Cut positions counted from the right, then assembled left to right.
    size_t remaining = body.size();
    size_t groupIndex = 0;
    int size = 0;
    std::string tail;
    while (true) {
        if (groupIndex < format.grouping.size()) {
            int next = static_cast<signed char>(format.grouping[groupIndex++]);
            if (next < 0 || next == CHAR_MAX) break;
            if (next > 0) size = next;
        }
        if (size <= 0 || remaining <= static_cast<size_t>(size)) break;
        tail = format.thousandsSeparator + body.substr(remaining - size, size) + tail;
        remaining -= size;
    }
    return digits.substr(0, signLength) + body.substr(0, remaining) + tail;
}

}  // namespace platform

}  // namespace treepak
