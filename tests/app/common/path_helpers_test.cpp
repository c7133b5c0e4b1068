#include <gtest/gtest.h>

#include "app/common/path_helpers.h"

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
