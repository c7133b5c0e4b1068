#include <gtest/gtest.h>

#include <climits>

#include "platform/number_format.h"
#include "platform/wildcard.h"

namespace treepak {

TEST(Wildcard, StarQuestionMarkAsciiCaseAndTrailingDotStar) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"*.kvf", ".kvf", true},      {"*.kvf", "a.kvf.bak", false}, {"a?c", "abc", true},
        {"a?c", "ac", false},         {"*a*b*", "xxaxxbxx", true},    {"*a*b*", "xxbxxaxx", false},
        {"**", "", true},             {"ReadMe.*", "README.TXT", true},
        {"\xC4*", "\xE4x", false},  // non-ASCII bytes compare exactly
        // A trailing ".*" also matches names without a dot.
        {"*.*", "Makefile", true},    {"readme.*", "readmeX", false}, {"*.txt", "txt", false},
    };
    for (const auto& [pattern, name, matches] : cases)
        EXPECT_EQ(platform::MatchesWildcard(pattern, name), matches) << pattern << " " << name;
    EXPECT_FALSE(platform::MatchesWildcard("*a*a*a*a*a*a*a*a*b", std::string(4000, 'a')));  // and fast
}

using platform::GroupDigits;
using platform::NumberFormat;

TEST(NumberFormat, GroupsDigitsFromTheRightAsTheLocaleSays) {
    const std::string stopAfterOne = {'\3', static_cast<char>(CHAR_MAX)};
    const struct { const char* digits; NumberFormat format; const char* grouped; } cases[] = {
        {"999", {",", "\3\3", "."}, "999"},
        {"-2147483648", {",", "\3\3", "."}, "-2,147,483,648"},
        {"-100", {",", "\3\3", "."}, "-100"},
        {"1234567", {"\xE2\x80\xAF", "\3", ","}, "1\xE2\x80\xAF" "234\xE2\x80\xAF" "567"},  // the last size repeats
        {"123456789", {",", "\3\2", "."}, "12,34,56,789"},
        {"1234567", {".", stopAfterOne, ","}, "1234.567"},
        {"1234567", {"", "\3", "."}, "1234567"},
    };
    for (const auto& c : cases) EXPECT_EQ(GroupDigits(c.digits, c.format), c.grouped);
    for (const char* locale : {"C", "no_such_LOCALE.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        EXPECT_EQ(GroupDigits("1234567", platform::UserNumberFormat()), "1234567") << locale;
    }
    unsetenv("LC_ALL");
}

}  // namespace treepak
