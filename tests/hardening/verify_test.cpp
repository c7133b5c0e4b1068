// -D deletes nothing unless the finished cabinets read back with every
// listed file byte for byte: damage made between the build and the check
// (through the check's test hook) must keep every source in place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/build/verify_cabinet.h"
#include "app/cli/options.h"
#include "app/cli/run_tool.h"
#include "test_support.h"
#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;
using testsupport::WriteFileBytes;

namespace {

void FlipByte(const fs::path& path, uintmax_t offsetFromEnd) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    const auto offset = static_cast<std::streamoff>(fs::file_size(path) - offsetFromEnd);
    file.seekg(offset);
    char c = 0;
    file.get(c);
    file.seekp(offset);
    file.put(static_cast<char>(c ^ 0x40));
}

fs::path sourceToChange;

class DeleteCheck : public testing::Test {
protected:
    testsupport::ScratchDir scratch;
    fs::path src = scratch.path() / "src";
    fs::path cab = scratch.path() / "out.cab";
    std::vector<fs::path> sources;

    void SetUp() override {
        fs::create_directories(scratch.path() / "tmp");
        setenv("TMP", (scratch.path() / "tmp").c_str(), 1);
        WriteSources();
        sourceToChange = src / "c.txt";
    }
    void WriteSources() {
        const std::pair<const char*, std::vector<uint8_t>> files[] = {
            {"sub/a.txt", TextBytes(70000, 1)}, {"b.bin", RandomBytes(5000, 2)}, {"empty", {}},
            {"c.txt", TextBytes(300, 3)}};
        sources.clear();
        for (const auto& [name, bytes] : files) {
            WriteFileBytes(src / name, bytes);
            sources.push_back(src / name);
        }
    }
    void TearDown() override {
        SetBeforeVerifyHook(nullptr);
        unsetenv("TMP");
    }

    int Run(std::vector<std::string> options, std::string* out) {
        Options = ToolOptions{};
        std::vector<std::string> args{"treepak", "-BATCH", "-NOLOGO", "-D"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(src.string());
        args.push_back(cab.string());
        std::vector<const char*> argv;
        for (const auto& a : args) argv.push_back(a.c_str());
        testing::internal::CaptureStdout();
        int status = RunToolStatus(static_cast<int>(argv.size()), argv.data());
        *out = testing::internal::GetCapturedStdout();
        return status;
    }

    void ExpectEverySourceKept() {
        for (const auto& path : sources) EXPECT_TRUE(fs::exists(path)) << path;
        EXPECT_TRUE(fs::is_empty(scratch.path() / "tmp"));
    }
};

TEST_F(DeleteCheck, OnlyAnUndamagedCabinetLetsTheSourcesGo) {
    // Undamaged, compressed folders (the second pass for the random file):
    // the sources go.
    std::string out;
    ASSERT_EQ(Run({}, &out), EXIT_STATUS_SUCCESS) << out;
    for (const auto& path : sources) EXPECT_FALSE(fs::exists(path)) << path;
    WriteSources();

    using Cabinets = std::vector<std::string>;
    const struct {
        const char* what;
        BeforeVerifyHook hook;
        const char* reasonPart;
    } cases[] = {
        {"flipped data byte", [](const Cabinets& cabs) { FlipByte(cabs.back(), 1); }, "the reader failed"},
        {"truncated cabinet", [](const Cabinets& cabs) { fs::resize_file(cabs.back(), fs::file_size(cabs.back()) - 1); },
         "the reader failed"},
        {"removed cabinet", [](const Cabinets& cabs) { fs::remove(cabs.front()); }, "the reader failed"},
        {"source changed", [](const Cabinets&) { FlipByte(sourceToChange, 1); }, "c.txt differs from its source"},
        {"source grown", [](const Cabinets&) { std::ofstream(sourceToChange, std::ios::app) << 'x'; },
         "c.txt is shorter in the cabinet than its source"},
    };
    for (const auto& c : cases) {
        for (const char* layout : {"-R", "-X"}) {  // folder per file, one folder
            SCOPED_TRACE(std::string(c.what) + " " + layout);
            SetBeforeVerifyHook(c.hook);
            std::string out;
            EXPECT_EQ(Run({layout, "-NOCOMPRESS"}, &out), EXIT_STATUS_FAILURE);
            EXPECT_NE(out.find("Cabinet check failed, nothing deleted: "), std::string::npos) << out;
            EXPECT_NE(out.find(c.reasonPart), std::string::npos) << out;
            EXPECT_EQ(out.find("DELETING"), std::string::npos);
            ExpectEverySourceKept();
            WriteFileBytes(sourceToChange, TextBytes(300, 3));
        }
    }
}

TEST(VerifyCabinetSet, ListAndCabinetMustAgreeAcrossASet) {
    Workspace ws;
    const fs::path in = ws.dir() / "in", out = ws.dir() / "out";
    fs::create_directories(out);
    WriteFileBytes(in / "a.bin", RandomBytes(60000, 5));
    WriteFileBytes(in / "b.bin", TextBytes(20000, 6));
    const ToolRun run = ws.Run({"-t", "none", "-m", "40000", "out/data.cab", "in"}, {.program = CabwriteBinary()});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(out / "data3.cab"));
    const std::string first = (out / "data.cab").string();
    // Lists of the sources, in the order given.
    auto listOf = [&](std::initializer_list<const char*> names) {
        auto list = std::make_unique<FileList>();
        for (const char* name : names) list->Add((in / name).string(), 0);
        return list;
    };
    const auto both = listOf({"a.bin", "b.bin"});
    const std::string source = in.string();
    std::string reason;
    EXPECT_TRUE(VerifyCabinetSet(first, *both, source, false, &reason)) << reason;

    EXPECT_FALSE(VerifyCabinetSet(first, *listOf({"a.bin", "b.bin", "c.bin"}), source, false, &reason));
    EXPECT_EQ(reason, "found 2 of 3 files");
    EXPECT_FALSE(VerifyCabinetSet(first, *listOf({"a.bin"}), source, false, &reason));
    EXPECT_EQ(reason, "the cabinet holds more files than were listed: b.bin");
    EXPECT_FALSE(VerifyCabinetSet(first, *listOf({"b.bin", "a.bin"}), source, false, &reason));
    EXPECT_EQ(reason, "expected b.bin, found a.bin");

    FlipByte(out / "data2.cab", 100);
    EXPECT_FALSE(VerifyCabinetSet(first, *both, source, false, &reason));
    fs::remove(out / "data2.cab");
    EXPECT_FALSE(VerifyCabinetSet(first, *both, source, false, &reason));
}

}  // namespace

}  // namespace treepak
