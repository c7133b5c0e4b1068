#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/expand/expand_cabinet.h"
#include "app/expand/expand_files.h"
#include "cabinet/bytes.h"
#include "expand_test_support.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace {

namespace fs = std::filesystem;
using expandtest::CabFile;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void IgnoreProgress(void*, const char*, int32_t, int32_t) {}

std::vector<std::string> EntriesOutsideDestination(const fs::path& root, const std::string& destination = "out") {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (relative != destination && relative.rfind(destination + "/", 0) != 0) entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(HostileCabinet, UnsafeNamesAreSkippedAndNamed) {
    const std::vector<std::string> unsafe = {"..\\escape.txt", "\\rooted.txt", "/rooted.txt", "C:drive.txt",
                                             "a\\..\\..\\up.txt", "a\\\\b.txt", ".\\dot.txt", "a\\.\\b.txt",
                                             "trailing\\", ".."};
    Workspace ws;
    const fs::path work = ws.dir();
    std::vector<CabFile> files = {CabFile{"safe\\first.txt", Bytes("first")}};
    for (const std::string& name : unsafe) files.push_back(CabFile{name, Bytes("evil")});
    files.push_back(CabFile{"last.txt", Bytes("last")});
    testsupport::WriteFileBytes(work / "evil.cab", expandtest::BuildCabinet(files));

    const ToolRun run = ws.Run({"evil.cab", "out"});
    EXPECT_EQ(run.status, 1);
    const std::string output = run.out + run.err;
    for (const std::string& name : unsafe)
        EXPECT_NE(output.find("***** ERROR: unsafe file name in cabinet: " + name + "\n"), std::string::npos) << name;
    EXPECT_NE(output.find("treepak: evil.cab: unsafe file name; ..\\escape.txt not extracted\n"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFileBytes(work / "out/safe/first.txt"), Bytes("first"));
    EXPECT_EQ(testsupport::ReadFileBytes(work / "out/last.txt"), Bytes("last"));
    EXPECT_EQ(EntriesOutsideDestination(ws.root.path(), "work/out"),
              (std::vector<std::string>{"stderr.txt", "stdout.txt", "tmp", "work", "work/evil.cab"}));
    EXPECT_FALSE(fs::exists("/rooted.txt"));
}

TEST(HostileCabinet, OutputIsNeverWrittenThroughALink) {
    testsupport::ScratchDir scratch;
    const fs::path out = scratch.path() / "out";
    fs::create_directories(out);
    testsupport::WriteFileBytes(scratch.path() / "victim.txt", Bytes("untouched"));
    fs::create_symlink(scratch.path() / "victim.txt", out / "link.txt");
    testsupport::WriteFileBytes(scratch.path() / "pack.cab",
                                expandtest::BuildCabinet({CabFile{"link.txt", Bytes("overwritten")}}));
    EXPECT_EQ(ExpandCabinet((scratch.path() / "pack.cab").c_str(), out.c_str(), IgnoreProgress, nullptr), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(scratch.path() / "victim.txt"), Bytes("untouched"));
}

int OpenForReading(const fs::path& path) { return ::open(path.c_str(), O_RDONLY); }

int64_t OverlayOf(const fs::path& path) {
    const int handle = OpenForReading(path);
    const int64_t offset = FindOverlayOffset(handle);
    ::close(handle);
    return offset;
}

TEST(Overlay, HeaderFieldsPointingAnywhereGiveNoOffset) {
    testsupport::ScratchDir scratch;
    const std::vector<uint8_t> cabinet = expandtest::BuildCabinet({CabFile{"f.txt", Bytes("payload")}});
    const std::vector<uint8_t> image = expandtest::MakeExecutable(2);
    std::vector<uint8_t> good = image;
    good.insert(good.end(), cabinet.begin(), cabinet.end());
    testsupport::WriteFileBytes(scratch.path() / "good.exe", good);
    EXPECT_EQ(OverlayOf(scratch.path() / "good.exe"), static_cast<int64_t>(image.size()));
    testsupport::WriteFileBytes(scratch.path() / "plain.cab", cabinet);
    EXPECT_EQ(OverlayOf(scratch.path() / "plain.cab"), 0);

    constexpr uint32_t kPe = 0x80;
    constexpr uint32_t kLastSection = kPe + 24 + 224 + 40;
    struct Damage {
        const char* what;
        uint32_t at;
        uint32_t value;
        bool wide;
    };
    const Damage damages[] = {
        {"PE offset past the end", 60, 0xFFFFFFF0u, true},
        {"PE offset near the end", 60, static_cast<uint32_t>(good.size() - 100), true},
        {"no PE signature", kPe, 0x12345678u, true},
        {"no sections", kPe + 6, 0, false},
        {"too many sections", kPe + 6, 0xFFFF, false},
        {"huge optional header", kPe + 20, 0xFFFF, false},
        {"raw data far away", kLastSection + 20, 0x7FFFFFF0u, true},
        {"raw size overflowing", kLastSection + 16, 0xFFFFFFFFu, true},
        {"raw end inside the image", kLastSection + 16, 0x10, true},
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> bad = good;
        if (damage.wide) cab::StoreLe32(bad.data() + damage.at, damage.value);
        else cab::StoreLe16(bad.data() + damage.at, static_cast<uint16_t>(damage.value));
        testsupport::WriteFileBytes(scratch.path() / "bad.cab", bad);
        EXPECT_EQ(OverlayOf(scratch.path() / "bad.cab"), 0) << damage.what;
        EXPECT_EQ(ExpandCabinet((scratch.path() / "bad.cab").c_str(), (scratch.path() / "out").c_str(), IgnoreProgress,
                                nullptr),
                  0)
            << damage.what;
    }
    testsupport::WriteFileBytes(scratch.path() / "short.cab", {'M', 'Z', 0});
    EXPECT_EQ(OverlayOf(scratch.path() / "short.cab"), 0);
}

}  // namespace

}  // namespace treepak
