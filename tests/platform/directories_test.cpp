#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/directories.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::WriteFileText;

namespace {

std::vector<std::string> Names(const std::vector<platform::DirectoryEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    return names;
}

}  // namespace

TEST(Directories, ListsInByteOrderWithKinds) {
    ScratchDir dir;
    for (const char* name : {"b", "B", "a.txt", "\xC3\xA9", "_x"}) WriteFileText(dir.path() / name, "x");
    fs::create_directory(dir.path() / "sub");
    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(dir.str(), "*.*", &entries));
    std::vector<std::string> expected = {"B", "_x", "a.txt", "b", "sub/", "\xC3\xA9"};
    EXPECT_EQ(Names(entries), expected);

    ASSERT_TRUE(platform::ListDirectory(dir.str(), "?", &entries));
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"B", "b"}));
}

TEST(Directories, LinksFifosAndSocketsFollowTheTreeRules) {
    ScratchDir dir;
    WriteFileText(dir.path() / "real.txt", "x");
    fs::create_directory(dir.path() / "realdir");
    fs::create_symlink("real.txt", dir.path() / "link-to-file");
    fs::create_symlink("realdir", dir.path() / "link-to-dir");
    fs::create_symlink("missing", dir.path() / "dangling");
    ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string socketPath = (dir.path() / "sock").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    std::vector<platform::DirectoryEntry> entries;
    ASSERT_TRUE(platform::ListDirectory(dir.str(), "*", &entries));
    close(sock);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"link-to-file", "real.txt", "realdir/"}));
}
