// Cabinets whose folders are Quantum streams (made by the test encoder)
// expand through the tool: several folders, two with the same type word (the
// reader keeps and resets one decoder), window sizes from 10 to 21 bits,
// folders of several blocks, and a truncated block that fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cab_builder.h"
#include "cabinet/format.h"
#include "quantum_test_encoder.h"
#include "test_support.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;
using testsupport::RandomBytes;
using testsupport::TextBytes;

struct Entry {
    std::string name;  // as stored, '\' separators
    std::vector<uint8_t> data;
};
using Folders = std::vector<std::pair<uint32_t, std::vector<Entry>>>;  // window bits, entries

testsupport::CabLayout QuantumLayout(const Folders& folders, bool truncateLastBlock) {
    testsupport::CabLayout layout;
    for (size_t f = 0; f < folders.size(); ++f) {
        std::vector<uint8_t> stream;
        for (const Entry& entry : folders[f].second) {
            layout.files.push_back({entry.name, static_cast<uint32_t>(entry.data.size()),
                                    static_cast<uint32_t>(stream.size()), static_cast<uint16_t>(f), 0x5A21, 0x6000,
                                    FILE_ATTR_ARCHIVE});
            stream.insert(stream.end(), entry.data.begin(), entry.data.end());
        }
        std::vector<EncodedBlock> blocks = CompressQuantum(stream, folders[f].first);
        if (truncateLastBlock && f + 1 == folders.size()) blocks.back().bytes.pop_back();
        testsupport::CabFolderLayout folder;
        folder.compressionType = MakeQuantumType(folders[f].first);
        for (const EncodedBlock& block : blocks)
            folder.blocks.push_back({block.bytes, static_cast<uint16_t>(block.uncompressedSize), true, {}});
        layout.folders.push_back(folder);
    }
    return layout;
}

class QuantumCabinetTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(TREEPAK_BINARY_DIR "/app/treepak")) GTEST_SKIP() << "the tool is not built";
    }
    int Expand(const Folders& folders, bool truncateLastBlock = false) {
        testsupport::WriteFileBytes(scratch_.path() / "q.cab",
                                    testsupport::BuildCabinetBytes(QuantumLayout(folders, truncateLastBlock)));
        std::string output;
        return testsupport::RunCommand("cd '" + scratch_.str() + "' && " TREEPAK_BINARY_DIR "/app/treepak q.cab out 2>&1",
                                       &output);
    }
    testsupport::ScratchDir scratch_;
};

TEST_F(QuantumCabinetTest, FoldersOfEveryKindOfWindowExpand) {
    const Folders folders = {
        {15, {{"a.txt", TextBytes(50000, 1)}, {"b.bin", RandomBytes(20000, 2)}}},
        {21, {{"big\\c.txt", TextBytes(150000, 3)}}},
        {15, {{"d.txt", TextBytes(40000, 4)}, {"empty", {}}}},
        {10, {{"small\\e.txt", TextBytes(5000, 5)}}},
    };
    ASSERT_EQ(Expand(folders), 0);
    for (const auto& folder : folders) {
        for (const Entry& entry : folder.second) {
            std::string path = entry.name;
            std::replace(path.begin(), path.end(), '\\', '/');
            ASSERT_TRUE(fs::exists(scratch_.path() / "out" / path)) << path;
            EXPECT_TRUE(testsupport::ReadFileBytes(scratch_.path() / "out" / path) == entry.data) << path;
        }
    }
    EXPECT_NE(Expand({{16, {{"a.txt", TextBytes(70000, 6)}}}}, true), 0) << "a truncated block";
}

}  // namespace
}  // namespace qtest
