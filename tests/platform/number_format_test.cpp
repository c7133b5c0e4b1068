#include <gtest/gtest.h>

#include <climits>

#include "platform/number_format.h"

using platform::GroupDigits;
using platform::NumberFormat;

TEST(NumberFormat, GroupsDigitsFromTheRight) {
    NumberFormat western{",", "\3\3", "."};
    EXPECT_EQ(GroupDigits("999", western), "999");
    EXPECT_EQ(GroupDigits("2147483647", western), "2,147,483,647");
    EXPECT_EQ(GroupDigits("-2147483648", western), "-2,147,483,648");
    EXPECT_EQ(GroupDigits("-100", western), "-100");

    NumberFormat lastRepeats{"\xE2\x80\xAF", "\3", ","};  // a multi-byte separator
    EXPECT_EQ(GroupDigits("1234567", lastRepeats), "1\xE2\x80\xAF" "234\xE2\x80\xAF" "567");

    NumberFormat indian{",", "\3\2", "."};
    EXPECT_EQ(GroupDigits("123456789", indian), "12,34,56,789");

    std::string stopAfterOne = {'\3', static_cast<char>(CHAR_MAX)};
    EXPECT_EQ(GroupDigits("1234567", NumberFormat{".", stopAfterOne, ","}), "1234.567");
    EXPECT_EQ(GroupDigits("1234567", NumberFormat{"", "\3", "."}), "1234567");
    EXPECT_EQ(GroupDigits("1234567", NumberFormat{",", "", "."}), "1234567");
}

TEST(NumberFormat, CLocaleHasNoGrouping) {
    setenv("LC_ALL", "C", 1);
    NumberFormat format = platform::UserNumberFormat();
    EXPECT_EQ(GroupDigits("1234567", format), "1234567");
    EXPECT_EQ(format.decimalSeparator, ".");
    setenv("LC_ALL", "no_such_LOCALE.UTF-8", 1);
    EXPECT_EQ(GroupDigits("1234567", platform::UserNumberFormat()), "1234567");
    unsetenv("LC_ALL");
}
