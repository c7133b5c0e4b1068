#include <gtest/gtest.h>

#include "app/cli/options.h"
#include "app/cli/split_command_line.h"

namespace treepak {

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

namespace {

// Every field in one line: logo, recurse, auto, progress window, verbose,
// delete, single folder, flatten, then the two compression types.
std::string Summary(const ToolOptions& o) {
    std::string s;
    for (bool b : {o.showLogo, o.recurse, o.autoCompress, o.showProgressWindow, o.verbose, o.deleteSource,
                   o.singleFolder, o.flatten})
        s += b ? '1' : '0';
    return s + " " + std::to_string(o.compressType) + std::to_string(o.kvfCompressType);
}

int Parse(std::vector<const char*> args, ToolOptions* options) {
    args.insert(args.begin(), "treepak");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options);
}

}  // namespace

TEST(Options, EachOptionSetsItsFieldsAndTheLoopEndsAtTheFirstNonOption) {
    struct Case {
        std::vector<const char*> args;
        int first;
        const char* summary;
    };
    const Case cases[] = {
        {{}, 1, "11110000 11"},
        // One-letter options are upper case and go by their first letter.
        {{"-Xyz", "-Verbose", "-D", "-Ffoo", "src"}, 5, "11111111 11"},
        {{"-r-", "s"}, 2, "10110000 11"},
        {{"-R-", "-R-x", "s"}, 3, "11110000 11"},  // "R-x" starts with R
        // Word options ignore case and match whole.
        {{"-nologo", "-Batch", "-nocompresskvf", "s"}, 4, "01000000 10"},
        {{"-NOCOMPRESS", "s"}, 2, "11010000 00"},
        {{"-NOCOMPRESS", "-COMPRESS", "s"}, 3, "11010000 11"},  // the decision stays off
        {{"-NOCOMPRESS", "-autocompress", "s"}, 3, "11110000 11"},
        {{"-V", "src", "-NOLOGO"}, 2, "11111000 11"},
        {{"/V", "x"}, 1, "11110000 11"},  // a leading '/' is a path here
    };
    for (const Case& c : cases) {
        ToolOptions options;
        EXPECT_EQ(Parse(c.args, &options), c.first) << c.summary;
        EXPECT_EQ(Summary(options), c.summary) << c.first;
    }
    // An unknown option leaves no argument, so the usage follows.
    for (const char* unknown : {"-r", "-x", "-v", "-compressx", "-", "-NOLOGOS", "-BATC"}) {
        ToolOptions options;
        EXPECT_EQ(Parse({unknown, "src", "out.cab"}, &options), 4) << unknown;
    }
}

}  // namespace treepak
