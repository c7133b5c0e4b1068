#include <gtest/gtest.h>

#include "app/cli/split_command_line.h"

using Args = std::vector<std::string>;

TEST(SplitCommandLine, SpacesSeparateAndQuotesGroupWithoutBeingKept) {
    const std::pair<const char*, Args> cases[] = {
        {"", {}},
        {"  -V  src   out.cab  ", {"-V", "src", "out.cab"}},
        {"a\tb c", {"a\tb", "c"}},  // only spaces separate
        {"\"My Files\" out.cab", {"My Files", "out.cab"}},
        {"a\"b c\"", {"a b c"}},
        {"\"\" x", {"", "x"}},
        {"x \"\"", {"x", ""}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"\"ab\"cd", {"ab", "cd"}},  // a closing quote ends the argument
        {"x \"", {"x"}},
    };
    for (const auto& [text, expected] : cases) {
        std::string line = text;
        Args argv;
        int count = -1;
        SplitCommandLine(line.data(), &count, &argv);
        ASSERT_EQ(count, static_cast<int>(argv.size())) << text;
        EXPECT_EQ(argv.at(0), "Invalid");
        EXPECT_EQ(Args(argv.begin() + 1, argv.end()), expected) << text;
    }
}
