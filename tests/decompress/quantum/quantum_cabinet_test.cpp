// Cabinets whose folders are the committed Quantum streams expand through
// the tool: window sizes from 10 to 21 bits, two folders with the same type
// word (the reader keeps and resets one decoder), folders of many blocks,
// and a truncated block that fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cab_builder.h"
#include "cabinet/format.h"
#include "quantum_test_support.h"
#include "test_support.h"

namespace treepak {

namespace qtest {
namespace {

namespace fs = std::filesystem;

// One file per folder, "f<index>", the folder's whole output.
int Expand(const testsupport::ScratchDir& scratch, const std::vector<const CommittedStream*>& streams,
           bool truncateLastBlock = false) {
    testsupport::CabLayout layout;
    for (size_t f = 0; f < streams.size(); ++f) {
        std::vector<EncodedBlock> blocks = LoadStream(streams[f]->name);
        if (truncateLastBlock && f + 1 == streams.size()) blocks.back().bytes.pop_back();
        testsupport::CabFolderLayout folder{MakeQuantumType(streams[f]->windowBits), {}, {}};
        uint32_t size = 0;
        for (const EncodedBlock& block : blocks) {
            folder.blocks.push_back({block.bytes, static_cast<uint16_t>(block.uncompressedSize), true, {}});
            size += block.uncompressedSize;
        }
        layout.folders.push_back(folder);
        layout.files.push_back({"f" + std::to_string(f), size, 0, static_cast<uint16_t>(f), 0x5A21, 0x6000,
                                FILE_ATTR_ARCHIVE});
    }
    testsupport::WriteFileBytes(scratch.path() / "q.cab", testsupport::BuildCabinetBytes(layout));
    std::string output;
    return testsupport::RunCommand("cd '" + scratch.str() + "' && " TREEPAK_BINARY_DIR "/app/treepak q.cab out 2>&1",
                                   &output);
}

TEST(QuantumCabinet, FoldersOfEveryKindOfWindowExpand) {
    if (!fs::exists(TREEPAK_BINARY_DIR "/app/treepak")) GTEST_SKIP() << "the tool is not built";
    auto stream = [](const std::string& name) {
        return &*std::find_if(kStreams, kStreams + kStreamCount, [&](const auto& s) { return s.name == name; });
    };
    testsupport::ScratchDir scratch;
    const std::vector<const CommittedStream*> folders = {stream("mixed13"), stream("edges21"), stream("mixed13"),
                                                         stream("edges10")};
    ASSERT_EQ(Expand(scratch, folders), 0);
    for (size_t f = 0; f < folders.size(); ++f) {
        const fs::path path = scratch.path() / "out" / ("f" + std::to_string(f));
        ASSERT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(testsupport::HashHex(testsupport::ReadFileBytes(path)), folders[f]->hash) << path;
    }
    EXPECT_NE(Expand(scratch, {stream("mixed16")}, true), 0) << "a truncated block";
}

}  // namespace
}  // namespace qtest

}  // namespace treepak
