#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

#include "tool_run.h"

namespace treepak {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

template <typename Ready>
bool WaitWhileRunning(pid_t pid, Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG | WNOWAIT | WEXITED) == pid) return false;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

// Signals the tool once its temporary files exist and it has run `pause`
// more; its exit status, or -1 when it ended before it could be signalled.
int SignalWhileWriting(const Workspace& ws, ToolProcess& tool, int signal, std::chrono::milliseconds pause) {
    if (!WaitWhileRunning(tool.pid, [&] { return !ws.TmpIsEmpty(); })) return -1;
    std::this_thread::sleep_for(pause);
    if (kill(tool.pid, signal) != 0) return -1;
    return tool.Wait();
}

class Interrupt : public testing::TestWithParam<int> {};

TEST_P(Interrupt, BuildLeavesNothingBehind) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    // Incompressible bytes: the first pass compresses them slowly, and the
    // second stores them.
    const auto big = testsupport::RandomBytes(24u << 20, 7);
    testsupport::WriteFileBytes(src / "big.bin", big);
    testsupport::WriteFileText(src / "small.txt", "small");
    // Workers compress the big file's blocks ahead.
    ToolProcess tool = ws.Start({"-BATCH", "-D", "src", "out.cab"}, {.environment = {"TREEPAK_THREADS=3"}});
    // The writer's temporary files exist from the start of the build to its end.
    ASSERT_EQ(SignalWhileWriting(ws, tool, GetParam(), 50ms), 255) << tool.Output();
    EXPECT_NE(tool.Output().find("TREEPAK interrupted\n"), std::string::npos) << tool.Output();
    EXPECT_TRUE(ws.TmpIsEmpty());
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_TRUE(fs::exists(src / "small.txt"));
    EXPECT_EQ(testsupport::ReadFileBytes(src / "big.bin"), big);
}

TEST_P(Interrupt, OnceTheCabinetExistsTheRunIsAllOrNothing) {
    // The signal lands while the cabinet is written, during the second pass
    // or during -D's check. Whatever the moment, the run either finished
    // (status 0, sources gone) or left the tree as it was (255, no cabinet).
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    const auto big = testsupport::RandomBytes(24u << 20, 8);
    testsupport::WriteFileBytes(src / "big.bin", big);
    ToolProcess tool = ws.Start({"-BATCH", "-NOLOGO", "-D", "src", "out.cab"});
    const bool signalled = WaitWhileRunning(tool.pid, [&] { return fs::exists(ws.dir() / "out.cab"); }) &&
                           kill(tool.pid, GetParam()) == 0;
    const int status = tool.Wait();
    EXPECT_TRUE(ws.TmpIsEmpty());
    if (status == 0) {
        EXPECT_FALSE(fs::exists(src / "big.bin"));
        EXPECT_TRUE(fs::exists(ws.dir() / "out.cab"));
        return;
    }
    EXPECT_TRUE(signalled);
    EXPECT_EQ(status, 255);
    // The failing writer operation may report itself first.
    EXPECT_TRUE(tool.Output().ends_with("TREEPAK interrupted\n")) << tool.Output();
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
    EXPECT_EQ(testsupport::ReadFileBytes(src / "big.bin"), big);
}

TEST_P(Interrupt, ExpansionKeepsFinishedFilesAndRemovesTheOneBeingWritten) {
    Workspace ws;
    const fs::path src = ws.dir() / "src";
    testsupport::WriteFileText(src / "a.txt", "finished first");
    testsupport::MakeSparseFile(src / "z.bin", int64_t{400} << 20, {{0, "start"}});
    const ToolRun built = ws.Run({"-BATCH", "-NOLOGO", "-NOCOMPRESS", "src", "out.cab"});
    ASSERT_EQ(built.status, 0) << built.out;
    const fs::path back = ws.dir() / "back";
    ToolProcess tool = ws.Start({"-BATCH", "out.cab", "back"});
    ASSERT_TRUE(WaitWhileRunning(tool.pid, [&] { return fs::exists(back / "z.bin"); }))
        << "the expansion ended before it could be interrupted";
    ASSERT_EQ(kill(tool.pid, GetParam()), 0);
    EXPECT_EQ(tool.Wait(), 255);
    EXPECT_TRUE(tool.Output().ends_with("TREEPAK interrupted\n")) << tool.Output();
    EXPECT_EQ(testsupport::ReadFileBytes(back / "a.txt").size(), 14u);
    EXPECT_FALSE(fs::exists(back / "z.bin"));
}

// cabwrite with the LZX search thread running: both threads stop, and
// neither a cabinet nor a temporary file is left.
TEST_P(Interrupt, CabwriteLeavesNothingBehind) {
    Workspace ws;
    testsupport::WriteFileBytes(ws.dir() / "in" / "big.txt", testsupport::TextBytes(12u << 20, 9));
    ToolProcess tool = ws.Start({"-t", "lzx:21", "out.cab", "in"},
                                {.program = CabwriteBinary(), .environment = {"TREEPAK_THREADS=2"}});
    ASSERT_EQ(SignalWhileWriting(ws, tool, GetParam(), 200ms), 1) << tool.Errors();
    EXPECT_NE(tool.Errors().find("cabwrite: interrupted by a signal\n"), std::string::npos) << tool.Errors();
    EXPECT_TRUE(ws.TmpIsEmpty());
    EXPECT_FALSE(fs::exists(ws.dir() / "out.cab"));
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, testing::Values(SIGINT, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

}  // namespace

}  // namespace treepak
