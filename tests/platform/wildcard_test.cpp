#include <gtest/gtest.h>

#include "platform/wildcard.h"

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
