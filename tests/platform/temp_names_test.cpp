#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/temp_names.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(TempNames, DirectoryPrecedenceAndFreshNames) {
    testsupport::ScratchDir tmp, tmpdir;
    setenv("TMPDIR", tmpdir.str().c_str(), 1);
    setenv("TMP", (tmp.path() / "missing").c_str(), 1);
    EXPECT_EQ(platform::TempDirectory(), tmpdir.str());
    unsetenv("TMPDIR");
    setenv("TMP", "", 1);
    EXPECT_EQ(platform::TempDirectory(), "/tmp");
    setenv("TMPDIR", tmpdir.str().c_str(), 1);
    setenv("TMP", tmp.str().c_str(), 1);
    EXPECT_EQ(platform::TempDirectory(), tmp.str());

    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string name;
        ASSERT_TRUE(platform::MakeTempName("xx", &name));
        fs::path path(name);
        EXPECT_EQ(path.parent_path(), tmp.path());
        EXPECT_EQ(path.filename().string().rfind("xx", 0), 0u);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(seen.insert(name).second);
        testsupport::WriteFileText(path, "");  // taken names must not come back
    }
    unsetenv("TMP");
    unsetenv("TMPDIR");
}
