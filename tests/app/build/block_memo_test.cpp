#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/build/block_memo.h"
#include "app/build/build_cabinet.h"
#include "app/build/precompress.h"
#include "app/cli/options.h"
#include "app/cli/run_tool.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

FCIBlockKey KeyOf(uint32_t n) { return FCIBlockKey{COMPRESS_DEFLATE, n, {n * 0x9E3779B97F4A7C15u, ~uint64_t{n}}}; }

TEST(BlockMemo, KeepsBlocksFromSeveralThreadsInAFileWithoutAName) {
    testsupport::ScratchDir tmp;
    setenv("TMP", tmp.str().c_str(), 1);
    BlockMemo memo;
    ASSERT_TRUE(memo.Open("xx"));
    unsetenv("TMP");
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    constexpr uint32_t kPerThread = 300;
    auto storeRange = [&memo](uint32_t from) {
        for (uint32_t n = from; n < from + kPerThread; ++n) {
            const std::vector<uint8_t> bytes = RandomBytes(1 + n % 5000, n);
            memo.Store(KeyOf(n), bytes.data(), static_cast<uint32_t>(bytes.size()), n);
        }
    };
    std::thread other(storeRange, kPerThread);
    storeRange(0);
    other.join();
    std::vector<uint8_t> out(5000);
    for (uint32_t n = 0; n < 2 * kPerThread; ++n) {
        uint32_t size = 0, token = 0;
        ASSERT_TRUE(memo.Lookup(KeyOf(n), out.data(), 5000, &size, &token)) << n;
        EXPECT_EQ(token, n);
        ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + size), RandomBytes(1 + n % 5000, n)) << n;
    }
    // Only the type word differs: a different key. A block larger than the
    // caller's buffer is a miss, not an overrun.
    FCIBlockKey stored = KeyOf(1);
    stored.compressionType = COMPRESS_NONE;
    uint32_t size = 0, token = 0;
    EXPECT_FALSE(memo.Lookup(stored, out.data(), 5000, &size, &token) ||
                 memo.Lookup(KeyOf(4999), out.data(), 4999, &size, &token));
}

class MemoBuildTest : public ::testing::Test {
protected:
    testsupport::ScratchDir scratch;
    ToolOptions savedOptions = Options;
    ToolPaths savedPaths = Paths;

    void TearDown() override {
        Options = savedOptions;
        Paths = savedPaths;
    }

    std::vector<std::string> Tree() {
        const fs::path src = scratch.path() / "src";
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
            {"a.txt", TextBytes(3 * 32768 + 500, 1)},  {"noise.bin", RandomBytes(80000, 2)},
            {"b.kvf", TextBytes(70000, 3)},            {"exact.txt", TextBytes(65536, 4)},
            {"tiny.txt", {'x', 'y'}},                  {"c.txt", TextBytes(40000, 5)},
            {"noise2.kvf", RandomBytes(33000, 6)},     {"d.txt", TextBytes(100000, 7)},
            // Workers hand out runs of 32 blocks: files ending on either side of one.
            {"run.txt", TextBytes(32 * 32768, 8)},     {"run1.txt", TextBytes(32 * 32768 + 1, 9)}};
        std::vector<std::string> paths;
        for (const auto& [name, bytes] : files) {
            testsupport::WriteFileBytes(src / name, bytes);
            paths.push_back((src / name).string());
        }
        Paths.source = src.string();
        return paths;
    }

    // Builds with the decision (two passes through the memo), then the
    // decided list in one pass without memo; returns both cabinets.
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> BuildBoth(int workers) {
        FileList list;
        for (const std::string& path : Tree()) list.Add(path, fs::file_size(path));
        Paths.cabinetPath = (scratch.path() / "memo.cab").string();
        SetPrecompressThreads(workers);
        EXPECT_EQ(BuildCabinet(&list, true), 1);
        int stored = 0;
        for (int i = 0; i < list.count(); ++i) stored += !list.Compress(i);
        EXPECT_GT(stored, 0);  // there was a second pass
        Paths.cabinetPath = (scratch.path() / "plain.cab").string();
        SetPrecompressThreads(0);  // and no decision: no memo at all
        EXPECT_EQ(BuildCabinet(&list, false), 1);
        SetPrecompressThreads(-1);
        return {testsupport::ReadFileBytes(scratch.path() / "memo.cab"),
                testsupport::ReadFileBytes(scratch.path() / "plain.cab")};
    }
};

}  // namespace

// Two passes through the memo, with the engine alone or racing any number
// of workers for files, build the cabinet one pass without a memo builds.
TEST_F(MemoBuildTest, SecondPassThroughTheMemoBuildsTheSameCabinet) {
    Options.showLogo = false;
    struct Case {
        bool oneFolder;
        uint16_t kvfType;
        int workers;  // -1: as many as the build picks
    };
    for (const Case& c : {Case{false, COMPRESS_DEFLATE, -1}, Case{true, COMPRESS_DEFLATE, -1},
                          Case{false, MakeLzxType(15), -1}, Case{true, MakeLzxType(15), 1},
                          Case{false, COMPRESS_DEFLATE, 2}, Case{true, COMPRESS_DEFLATE, 5}}) {
        SCOPED_TRACE(testing::Message() << c.oneFolder << " " << c.kvfType << " " << c.workers);
        Options.singleFolder = c.oneFolder;
        Options.kvfCompressType = c.kvfType;
        auto [memo, plain] = BuildBoth(c.workers);
        EXPECT_GT(plain.size(), 0u);
        EXPECT_TRUE(memo == plain);
    }
}

}  // namespace treepak
