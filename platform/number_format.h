// Digit grouping of the user's locale for printed numbers. The locale comes
// from LC_ALL, else LC_NUMERIC; unset, unknown or "C" gives plain digits.
#pragma once

#include <string>

namespace treepak {

namespace platform {

struct NumberFormat {
    std::string thousandsSeparator;  // empty: no grouping
    std::string grouping;            // group sizes from the right, as the C library gives them
    std::string decimalSeparator;
};

NumberFormat UserNumberFormat();
// Inserts the separator into a run of digits (an optional leading '-' is
// kept in front). Group sizes are taken in turn, the last one repeating; a
// size of 0 repeats the previous one and a negative size (CHAR_MAX on some
// systems) stops grouping.
std::string GroupDigits(const std::string& digits, const NumberFormat& format);

}  // namespace platform

}  // namespace treepak
