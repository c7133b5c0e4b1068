#include <gtest/gtest.h>

#include "app/path_helpers.h"
#include "test_support.h"

namespace {

std::string Cut(std::string path) {
    CutToDirectory(&path);
    return path;
}

}  // namespace

TEST(PathHelpers, FileNamePartAndExtension) {
    EXPECT_EQ(FileNamePart("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(FileNamePart("dir/sub\\name"), "name");
    EXPECT_EQ(FileNamePart("C:name"), "name");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(FileNamePart("dir/"), "");
    EXPECT_EQ(FileExtension("a.tar.gz"), ".gz");
    EXPECT_EQ(FileExtension("noext"), "");
    EXPECT_EQ(FileExtension(".CAB"), ".CAB");
    EXPECT_EQ(FileExtension("x."), ".");
}

TEST(PathHelpers, CutToDirectoryKeepsRootsAndDrives) {
    EXPECT_EQ(Cut("C:\\a\\b"), "C:\\a");
    EXPECT_EQ(Cut("C:\\a"), "C:\\");
    EXPECT_EQ(Cut("\\a"), "\\");
    EXPECT_EQ(Cut("/a"), "/");
    EXPECT_EQ(Cut("a"), "");
    EXPECT_EQ(Cut("C:a"), "C:");
    EXPECT_EQ(Cut("a/b"), "a");
    EXPECT_EQ(Cut("data/"), "data");
    EXPECT_EQ(Cut("/x/y/z.kvf"), "/x/y");
    EXPECT_EQ(Cut(""), "");
}

TEST(PathHelpers, JoinPathAddsOneNativeSeparator) {
    EXPECT_EQ(JoinPath("dir", "name"), "dir/name");
    EXPECT_EQ(JoinPath("dir/", "name"), "dir/name");
    EXPECT_EQ(JoinPath("dir\\", "name"), "dir\\name");
    EXPECT_EQ(JoinPath("", "name"), "name");
    EXPECT_EQ(JoinPath("dir", ""), "dir");
    EXPECT_EQ(JoinPath("out", "sub\\deep\\b.txt"), "out/sub\\deep\\b.txt");
}

TEST(PathHelpers, WildcardsAndCaseInsensitiveComparison) {
    EXPECT_TRUE(HasWildcard("data/*.kvf"));
    EXPECT_TRUE(HasWildcard("a?"));
    EXPECT_FALSE(HasWildcard("data/x.kvf"));
    EXPECT_TRUE(EqualsIgnoreCase("FoldView.INI", "FOLDVIEW.ini"));
    EXPECT_FALSE(EqualsIgnoreCase("foldview.ini", "foldview.ini.bak"));
    EXPECT_TRUE(EndsWithIgnoreCase("pack.CaB", ".cab"));
    EXPECT_FALSE(EndsWithIgnoreCase("ab", ".cab"));
}

TEST(PathHelpers, IsDirectory) {
    testsupport::ScratchDir dir;
    testsupport::WriteFileText(dir.path() / "f", "x");
    EXPECT_TRUE(IsDirectory(dir.str()));
    EXPECT_FALSE(IsDirectory((dir.path() / "f").string()));
    EXPECT_FALSE(IsDirectory((dir.path() / "missing").string()));
    EXPECT_FALSE(IsDirectory(""));
}
