#include <gtest/gtest.h>

#include <filesystem>

#include "app/build/file_selection.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::WriteFileText;

namespace {

void Record(const std::string& path, const platform::DirectoryEntry&, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(path); }

std::vector<std::string> Walk(const std::string& dir, const std::string& pattern, bool recurse) {
    std::vector<std::string> seen;
    WalkDirectory(dir, pattern, Record, &seen, recurse);
    for (auto& p : seen) p = p.substr(dir.size());
    return seen;
}

using Paths = std::vector<std::string>;

}  // namespace

TEST(Walk, SubdirectoriesFirstDepthFirstInByteOrder) {
    ScratchDir dir;
    for (const char* f : {"z.txt", "a.txt", "b/y.txt", "b/c/x.txt", "b/a.txt", "a/m.txt", "B.txt"}) {
        WriteFileText(dir.path() / f, f);
    }
    fs::create_directory(dir.path() / "empty");
    fs::create_directory_symlink(".", dir.path() / "b" / "loop");
    EXPECT_EQ(Walk(dir.str(), "*.*", true),
              (Paths{"/a/m.txt", "/b/c/x.txt", "/b/a.txt", "/b/y.txt", "/B.txt", "/a.txt", "/z.txt"}));
    EXPECT_EQ(Walk(dir.str(), "*.*", false), (Paths{"/B.txt", "/a.txt", "/z.txt"}));
    // A source text with its own trailing separator gets no second one.
    EXPECT_EQ(Walk(dir.str() + "/", "*.*", false), (Paths{"B.txt", "a.txt", "z.txt"}));
}

}  // namespace treepak
