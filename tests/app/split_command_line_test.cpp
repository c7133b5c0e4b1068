#include <gtest/gtest.h>

#include "app/split_command_line.h"

namespace {

std::vector<std::string> Split(std::string line) {
    std::vector<std::string> argv;
    int count = -1;
    SplitCommandLine(line.data(), &count, &argv);
    EXPECT_EQ(count, static_cast<int>(argv.size()));
    EXPECT_EQ(argv.at(0), "Invalid");
    argv.erase(argv.begin());
    return argv;
}

using Args = std::vector<std::string>;

}  // namespace

TEST(SplitCommandLine, SpacesSeparateAndOnlySpaces) {
    EXPECT_EQ(Split(""), Args{});
    EXPECT_EQ(Split("   "), Args{});
    EXPECT_EQ(Split("a"), Args{"a"});
    EXPECT_EQ(Split("  -V  src   out.cab  "), (Args{"-V", "src", "out.cab"}));
    EXPECT_EQ(Split("a\tb c"), (Args{"a\tb", "c"}));
}

TEST(SplitCommandLine, QuotesGroupAndAreNeverKept) {
    EXPECT_EQ(Split("\"My Files\" out.cab"), (Args{"My Files", "out.cab"}));
    EXPECT_EQ(Split("a\"b c\""), Args{"a b c"});
    EXPECT_EQ(Split("\"\" x"), (Args{"", "x"}));
    EXPECT_EQ(Split("x \"\""), (Args{"x", ""}));
    EXPECT_EQ(Split("\"unterminated quote"), Args{"unterminated quote"});
    // A closing quote ends the argument even with no space after it.
    EXPECT_EQ(Split("\"ab\"cd"), (Args{"ab", "cd"}));
    EXPECT_EQ(Split("x \""), Args{"x"});
}

TEST(SplitCommandLine, OverwritesTheLineInPlace) {
    std::string line = "\"a b\" c";
    std::vector<std::string> argv;
    int count = 0;
    SplitCommandLine(line.data(), &count, &argv);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(line, std::string(" a b\0 c", 7));
}

TEST(SplitCommandLine, HasNoArgumentLimit) {
    std::string line;
    for (int i = 0; i < 50; ++i) line += "arg" + std::to_string(i) + " ";
    Args args = Split(line);
    ASSERT_EQ(args.size(), 50u);
    EXPECT_EQ(args[49], "arg49");
}
