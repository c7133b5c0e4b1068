#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/temp_names.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// Sets or unsets one environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) setenv(name, value, 1); else unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1); else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace

TEST(TempNames, DirectoryPrecedence) {
    testsupport::ScratchDir tmp, tmpdir;
    {
        ScopedEnv a("TMP", tmp.str().c_str()), b("TMPDIR", tmpdir.str().c_str());
        EXPECT_EQ(platform::TempDirectory(), tmp.str());
    }
    {
        ScopedEnv a("TMP", (tmp.path() / "missing").c_str()), b("TMPDIR", tmpdir.str().c_str());
        EXPECT_EQ(platform::TempDirectory(), tmpdir.str());
    }
    {
        ScopedEnv a("TMP", ""), b("TMPDIR", nullptr);
        EXPECT_EQ(platform::TempDirectory(), "/tmp");
    }
}

TEST(TempNames, NamesAreFreshAndCarryThePrefix) {
    testsupport::ScratchDir tmp;
    ScopedEnv a("TMP", tmp.str().c_str());
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
}
