#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app/file_list.h"
#include "app/options.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::WriteFileBytes;
using testsupport::WriteFileText;

namespace {

void Record(const std::string& path, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(path); }

std::vector<std::string> Walk(const std::string& dir, const std::string& pattern, bool recurse) {
    std::vector<std::string> seen;
    WalkDirectory(dir, pattern, Record, &seen, recurse);
    for (auto& p : seen) p = p.substr(dir.size());
    return seen;
}

// Collects the files of a walk, returning what standard output received.
std::string Collect(const std::string& dir, FileList* list, bool verbose) {
    Options.verbose = verbose;
    testing::internal::CaptureStdout();
    WalkDirectory(dir, "*.*", CollectFile, list, true);
    std::fflush(stdout);
    Options.verbose = false;
    return testing::internal::GetCapturedStdout();
}

std::vector<uint8_t> KvfHeader(size_t size, uint8_t byte125) {
    std::vector<uint8_t> bytes(size, 0x11);
    if (size > 125) bytes[125] = byte125;
    return bytes;
}

using Paths = std::vector<std::string>;

}  // namespace

TEST(Walk, SubdirectoriesFirstDepthFirstInByteOrder) {
    ScratchDir dir;
    for (const char* f : {"z.txt", "a.txt", "b/y.txt", "b/c/x.txt", "b/a.txt", "a/m.txt", "B.txt"}) {
        WriteFileText(dir.path() / f, f);
    }
    fs::create_directory(dir.path() / "empty");
    // Directory links are not descended.
    fs::create_directory_symlink(".", dir.path() / "b" / "loop");
    EXPECT_EQ(Walk(dir.str(), "*.*", true),
              (Paths{"/a/m.txt", "/b/c/x.txt", "/b/a.txt", "/b/y.txt", "/B.txt", "/a.txt", "/z.txt"}));
    EXPECT_EQ(Walk(dir.str(), "*.*", false), (Paths{"/B.txt", "/a.txt", "/z.txt"}));
    // A source text with its own trailing separator gets no second one.
    EXPECT_EQ(Walk(dir.str() + "/", "*.*", false), (Paths{"B.txt", "a.txt", "z.txt"}));
}

TEST(Select, RefusesCabinetsAndCompressedKvfFilesWithErrorLines) {
    ScratchDir dir;
    WriteFileBytes(dir.path() / "sub/readme.KVF", KvfHeader(200, 0xFF));
    WriteFileBytes(dir.path() / "sub/plain.kvf", KvfHeader(200, 0x7F));
    WriteFileBytes(dir.path() / "short.kvf", KvfHeader(100, 0));
    WriteFileBytes(dir.path() / "zipped.kvf", KvfHeader(128, 0x80));
    WriteFileText(dir.path() / "pack.cab", "old");
    WriteFileText(dir.path() / ".CAB", "old");
    WriteFileText(dir.path() / "keep.txt", "x");

    FileList list;
    std::string out = Collect(dir.str(), &list, false);
    EXPECT_EQ(out,
              "***** ERROR: trying to add KVFZIPed file to CAB: readme.KVF\n"
              "***** ERROR: trying to add CAB file to CAB: .CAB\n"
              "***** ERROR: trying to add CAB file to CAB: pack.cab\n"
              "***** ERROR: trying to add KVFZIPed file to CAB: zipped.kvf\n");
    std::string d = dir.str();
    EXPECT_EQ(list.paths, (Paths{d + "/sub/plain.kvf", d + "/keep.txt", d + "/short.kvf"}));
    EXPECT_EQ(list.compressFlags, (std::vector<int>{1, 1, 1}));
    // A name that cannot be opened has no header: listed, the build reports it.
    CollectFile((dir.path() / "gone.kvf").string(), &list);
    EXPECT_EQ(list.count(), 4);
}

TEST(Select, SkipListGoesByNameInAnyDirectoryAndSpeaksOnlyWhenVerbose) {
    ScratchDir dir;
    for (const char* f : {"a/b/foldview.ini", "RollCall.dat", "skinset.DAT", "veldmap.dat", "qrt.ini",
                          "Glimpse.db", "foldview.ini.bak", "x/GLIMPSE.DB.old"}) {
        WriteFileText(dir.path() / f, "x");
    }
    FileList quiet;
    EXPECT_EQ(Collect(dir.str(), &quiet, false), "");
    std::string d = dir.str();
    EXPECT_EQ(quiet.paths, (Paths{d + "/x/GLIMPSE.DB.old", d + "/foldview.ini.bak"}));

    FileList loud;
    EXPECT_EQ(Collect(dir.str(), &loud, true),
              "skiping file: foldview.ini\n"
              "skiping file: Glimpse.db\n"
              "skiping file: RollCall.dat\n"
              "skiping file: qrt.ini\n"
              "skiping file: skinset.DAT\n"
              "skiping file: veldmap.dat\n");
    EXPECT_EQ(loud.paths, quiet.paths);
}
