#include <gtest/gtest.h>

#include <string>

#include "app/common/name_encoding.h"
#include "app/common/path_helpers.h"

namespace treepak {

namespace {

TEST(NameEncoding, Utf8ValidationRefusesEveryIllFormedSequence) {
    for (const char* good : {"", "plain", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
                             "\xED\x9F\xBF", "\xEE\x80\x80", "\xDF\xBF"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << testing::PrintToString(std::string(good));
    }
    for (const char* bad : {
             "\x80",              // continuation without a lead
             "\xC3",              // truncated at the end
             "\xE2\x82",          // truncated three-byte sequence
             "\xC3\x28",          // lead followed by no continuation
             "\xC0\xAF",          // overlong '/'
             "\xC1\xBF",          // overlong two-byte
             "\xE0\x9F\xBF",      // overlong three-byte
             "\xF0\x8F\xBF\xBF",  // overlong four-byte
             "\xED\xA0\x80",      // surrogate
             "\xF4\x90\x80\x80",  // past U+10FFFF
             "\xF8\x88\x80\x80\x80", "\xFF", "caf\xE9.txt"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    }
}

TEST(NameEncoding, Windows1252MapsEveryHighByte) {
    EXPECT_EQ(Windows1252ToUtf8("ascii \\/:"), "ascii \\/:");
    EXPECT_EQ(Windows1252ToUtf8("\xE9\xFF\xA0"), "\u00E9\u00FF\u00A0");
    EXPECT_EQ(Windows1252ToUtf8("\x80\x8A\x99\x9F"), "\u20AC\u0160\u2122\u0178");
    // The five bytes the code page leaves undefined keep their number.
    EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    // Every byte gives well-formed UTF-8 and nothing ASCII from a high byte.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string converted = Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
        EXPECT_TRUE(IsValidUtf8(converted)) << byte;
        for (char c : converted) EXPECT_GE(static_cast<unsigned char>(c), 0x80) << byte;
    }
}

}  // namespace

TEST(PathHelpers, NamePartsKeepRootsAndDrives) {
    const std::pair<std::string, std::string> directories[] = {
        {"C:\\a\\b", "C:\\a"}, {"C:\\a", "C:\\"}, {"\\a", "\\"}, {"/a", "/"},       {"a", ""},
        {"C:a", "C:"},         {"data/", "data"}, {"/x/y/z.kvf", "/x/y"},          {"", ""}};
    for (auto [path, directory] : directories) {
        const std::string original = path;
        CutToDirectory(&path);
        EXPECT_EQ(path, directory) << original;
    }
    EXPECT_EQ(FileNamePart("dir/sub\\name"), "name");
    EXPECT_EQ(FileNamePart("C:name"), "name");
    EXPECT_EQ(FileNamePart("dir/"), "");
    EXPECT_EQ(FileExtension("a.tar.gz"), ".gz");
    EXPECT_EQ(FileExtension(".CAB"), ".CAB");
    EXPECT_EQ(FileExtension("noext"), "");
}

TEST(PathHelpers, JoinPathAddsOneNativeSeparator) {
    EXPECT_EQ(JoinPath("dir", "name"), "dir/name");
    EXPECT_EQ(JoinPath("dir/", "name"), "dir/name");
    EXPECT_EQ(JoinPath("dir\\", "name"), "dir\\name");
    EXPECT_EQ(JoinPath("", "name"), "name");
    EXPECT_EQ(JoinPath("dir", ""), "dir");
    EXPECT_EQ(JoinPath("out", "sub\\deep\\b.txt"), "out/sub\\deep\\b.txt");
}

}  // namespace treepak
