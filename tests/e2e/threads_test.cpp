// Builds with workers compressing blocks ahead of the writer against the
// writer alone (TREEPAK_THREADS=1): the same cabinet bytes and the same
// console, on seeded trees whose files span many blocks, end on block and
// unit boundaries, or hold nothing, under the options that change folders
// and compression kinds.
#include <gtest/gtest.h>

#include "cabinet/format.h"
#include "e2e_support.h"

namespace treepak {

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

// Workers hand out runs of 32 blocks; files end on either side of one.
constexpr uint32_t kRun = 32 * CAB_BLOCK_SIZE;

void WriteSeededTree(const fs::path& root, uint64_t seed) {
    const uint32_t jitter = static_cast<uint32_t>(seed * 7919 % 5000);
    testsupport::WriteFileBytes(root / "big.txt", TextBytes(kRun + 300000 + jitter, seed));
    testsupport::WriteFileBytes(root / "run.txt", TextBytes(kRun, seed + 1));
    testsupport::WriteFileBytes(root / "noise.bin", RandomBytes(70000 + jitter, seed + 2));
    testsupport::WriteFileBytes(root / "sub" / "table.kvf", TextBytes(200000, seed + 3));
    testsupport::WriteFileBytes(root / "sub" / "empty", {});
    for (uint32_t size : {1u, CAB_BLOCK_SIZE - 1, CAB_BLOCK_SIZE, CAB_BLOCK_SIZE + 1, kRun - 1, 5000 + jitter})
        testsupport::WriteFileBytes(root / "sizes" / ("s" + std::to_string(size)), TextBytes(size, seed + size));
}

}  // namespace

TEST(Threads, WorkersBuildWhatTheWriterAloneBuilds) {
    Workspace ws;
    uint64_t seed = 10;
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"-X"}, {"-NOCOMPRESSKVF"}, {"-X", "-NOCOMPRESSKVF"}, {"-F", "-NOCOMPRESS", "-COMPRESS"},
          {"-NOCOMPRESS"}}) {
        ++seed;
        SCOPED_TRACE(testing::Message() << "seed " << seed << " " << testing::PrintToString(options));
        fs::remove_all(ws.dir() / "src");
        WriteSeededTree(ws.dir() / "src", seed);
        {
            std::vector<std::vector<uint8_t>> cabinets;
            std::vector<std::string> outputs;
            for (const char* threads : {"1", "4"}) {
                std::vector<std::string> args = {"-BATCH"};
                args.insert(args.end(), options.begin(), options.end());
                args.insert(args.end(), {"src", "t.cab"});
                const ToolRun run = ws.Run(args, std::string("TREEPAK_THREADS=") + threads);
                ASSERT_EQ(run.status, 0) << run.out << run.err;
                outputs.push_back(run.out);
                cabinets.push_back(testsupport::ReadFileBytes(ws.dir() / "t.cab"));
                EXPECT_TRUE(ws.TmpIsEmpty());
            }
            EXPECT_EQ(outputs[0], outputs[1]);
            EXPECT_TRUE(cabinets[0] == cabinets[1]);
        }
    }
}

}  // namespace treepak
