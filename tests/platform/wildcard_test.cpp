#include <gtest/gtest.h>

#include "platform/wildcard.h"

using platform::MatchesWildcard;

TEST(Wildcard, StarAndQuestionMark) {
    EXPECT_TRUE(MatchesWildcard("*.kvf", "a.kvf"));
    EXPECT_TRUE(MatchesWildcard("*.kvf", ".kvf"));
    EXPECT_FALSE(MatchesWildcard("*.kvf", "a.kvf.bak"));
    EXPECT_TRUE(MatchesWildcard("a?c", "abc"));
    EXPECT_FALSE(MatchesWildcard("a?c", "ac"));
    EXPECT_TRUE(MatchesWildcard("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(MatchesWildcard("*a*b*", "xxbxxaxx"));
    EXPECT_TRUE(MatchesWildcard("**", ""));
    EXPECT_FALSE(MatchesWildcard("?", ""));
}

TEST(Wildcard, IgnoresAsciiCase) {
    EXPECT_TRUE(MatchesWildcard("*.KVF", "readme.kvf"));
    EXPECT_TRUE(MatchesWildcard("ReadMe.*", "README.TXT"));
    EXPECT_FALSE(MatchesWildcard("\xC4*", "\xE4x"));  // non-ASCII bytes compare exactly
}

TEST(Wildcard, TrailingDotStarAlsoMatchesNamesWithoutDot) {
    EXPECT_TRUE(MatchesWildcard("*.*", "Makefile"));
    EXPECT_TRUE(MatchesWildcard("*.*", "a.b.c"));
    EXPECT_TRUE(MatchesWildcard("readme.*", "readme"));
    EXPECT_FALSE(MatchesWildcard("readme.*", "readmeX"));
    EXPECT_FALSE(MatchesWildcard("*.txt", "txt"));
}

TEST(Wildcard, LongNameWithManyStarsIsFast) {
    std::string name(4000, 'a');
    EXPECT_FALSE(MatchesWildcard("*a*a*a*a*a*a*a*a*b", name));
}
