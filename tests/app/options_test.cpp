#include <gtest/gtest.h>

#include "app/options.h"

namespace {

struct Parsed {
    ToolOptions options;
    int first;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "treepak");
    Parsed p;
    p.first = ParseOptions(static_cast<int>(args.size()), args.data(), &p.options);
    return p;
}

}  // namespace

TEST(Options, DefaultsCompressEverythingWithTheAutomaticDecision) {
    ToolOptions d;
    EXPECT_TRUE(d.showLogo && d.recurse && d.autoCompress && d.showProgressWindow);
    EXPECT_FALSE(d.verbose || d.deleteSource || d.singleFolder || d.flatten);
    EXPECT_EQ(d.compressType, COMPRESS_DEFLATE);
    EXPECT_EQ(d.kvfCompressType, COMPRESS_DEFLATE);
}

TEST(Options, OneLetterOptionsAreUpperCaseAndGoByTheirFirstLetter) {
    Parsed p = Parse({"-Xyz", "-Verbose", "-D", "-Ffoo", "src"});
    EXPECT_EQ(p.first, 5);
    EXPECT_TRUE(p.options.singleFolder && p.options.verbose && p.options.deleteSource && p.options.flatten);

    EXPECT_FALSE(Parse({"-R-", "s"}).options.recurse);
    EXPECT_FALSE(Parse({"-r-", "s"}).options.recurse);
    EXPECT_TRUE(Parse({"-R-", "-Rxyz", "s"}).options.recurse);
    EXPECT_TRUE(Parse({"-R-", "-R", "s"}).options.recurse);
    // "R-x" is neither "R-" nor unknown: it starts with R.
    EXPECT_TRUE(Parse({"-R-", "-R-x", "s"}).options.recurse);
}

TEST(Options, UnknownOptionLeavesNoArgument) {
    for (const char* unknown : {"-r", "-x", "-v", "-compressx", "-", "-NOLOGOS", "-BATC"}) {
        Parsed p = Parse({unknown, "src", "out.cab"});
        EXPECT_EQ(p.first, 4) << unknown;
    }
}

TEST(Options, WordOptionsIgnoreCaseAndMatchWhole) {
    Parsed p = Parse({"-nologo", "-Batch", "-nocompresskvf", "s"});
    EXPECT_FALSE(p.options.showLogo);
    EXPECT_FALSE(p.options.showProgressWindow);
    EXPECT_EQ(p.options.compressType, COMPRESS_DEFLATE);
    EXPECT_EQ(p.options.kvfCompressType, COMPRESS_NONE);
    EXPECT_FALSE(p.options.autoCompress);
}

TEST(Options, CompressionOptionsOverrideFieldByField) {
    Parsed p = Parse({"-NOCOMPRESS", "-COMPRESS", "s"});
    EXPECT_EQ(p.options.compressType, COMPRESS_DEFLATE);
    EXPECT_EQ(p.options.kvfCompressType, COMPRESS_DEFLATE);
    EXPECT_FALSE(p.options.autoCompress);  // -COMPRESS leaves it as it was

    EXPECT_TRUE(Parse({"-COMPRESS", "s"}).options.autoCompress);

    p = Parse({"-NOCOMPRESS", "s"});
    EXPECT_EQ(p.options.compressType, COMPRESS_NONE);
    EXPECT_EQ(p.options.kvfCompressType, COMPRESS_NONE);

    p = Parse({"-NOCOMPRESS", "-autocompress", "s"});
    EXPECT_EQ(p.options.compressType, COMPRESS_DEFLATE);
    EXPECT_TRUE(p.options.autoCompress);
}

TEST(Options, LoopEndsAtTheFirstNonOption) {
    Parsed p = Parse({"-V", "src", "-NOLOGO"});
    EXPECT_EQ(p.first, 2);
    EXPECT_TRUE(p.options.showLogo);
    // A leading '/' is a path on this system, not an option.
    EXPECT_EQ(Parse({"/V", "x"}).first, 1);
    EXPECT_EQ(Parse({}).first, 1);
}
