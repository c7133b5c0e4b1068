// Cabinets whose folders are Quantum streams (made by the test encoder and
// the cabinet record code) expand through the tool: several folders, two
// with the same type word (the reader keeps and resets one decoder), window
// sizes from 10 to 21 bits, folders of several blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "cabinet/format.h"
#include "cabinet/records.h"
#include "quantum_test_encoder.h"
#include "test_support.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;  // as stored, '\' separators
    std::string path;  // as extracted
    std::vector<uint8_t> data;
};

std::string Treepak() { return TREEPAK_BINARY_DIR "/app/treepak"; }

// One cabinet, one folder per group of entries, each folder a Quantum
// stream of the given window bits. Block checksums are left 0 (unchecked).
std::vector<uint8_t> QuantumCabinet(const std::vector<std::pair<uint32_t, std::vector<Entry>>>& folders,
                                    bool truncateLastBlock = false) {
    std::vector<CFFOLDER> folderRecords;
    std::vector<std::vector<uint8_t>> dataAreas;
    std::vector<std::pair<CFFILE, std::string>> files;
    for (size_t f = 0; f < folders.size(); ++f) {
        std::vector<uint8_t> stream;
        for (const Entry& entry : folders[f].second) {
            const CFFILE file{static_cast<uint32_t>(entry.data.size()), static_cast<uint32_t>(stream.size()),
                              static_cast<uint16_t>(f), 0x5A21, 0x6000, FILE_ATTR_ARCHIVE};
            files.emplace_back(file, entry.name);
            stream.insert(stream.end(), entry.data.begin(), entry.data.end());
        }
        std::vector<EncodedBlock> blocks = CompressQuantum(stream, folders[f].first);
        if (truncateLastBlock && f + 1 == folders.size()) blocks.back().bytes.pop_back();
        std::vector<uint8_t> area;
        for (const EncodedBlock& block : blocks) {
            uint8_t header[CFDATA_SIZE];
            EncodeData(CFDATA{0, static_cast<uint16_t>(block.bytes.size()), static_cast<uint16_t>(block.uncompressedSize)},
                       header);
            area.insert(area.end(), header, header + CFDATA_SIZE);
            area.insert(area.end(), block.bytes.begin(), block.bytes.end());
        }
        folderRecords.push_back(CFFOLDER{0, static_cast<uint16_t>(blocks.size()), MakeQuantumType(folders[f].first)});
        dataAreas.push_back(area);
    }

    uint32_t fileTableSize = 0;
    for (const auto& file : files) fileTableSize += CFFILE_SIZE + static_cast<uint32_t>(file.second.size()) + 1;
    const uint32_t firstFileOffset = CFHEADER_SIZE + CFFOLDER_SIZE * static_cast<uint32_t>(folders.size());
    uint32_t dataOffset = firstFileOffset + fileTableSize;
    for (size_t f = 0; f < folders.size(); ++f) {
        folderRecords[f].firstDataOffset = dataOffset;
        dataOffset += static_cast<uint32_t>(dataAreas[f].size());
    }

    CFHEADER header{};
    std::copy(std::begin(CAB_SIGNATURE), std::end(CAB_SIGNATURE), header.signature);
    header.cabinetSize = dataOffset;
    header.firstFileOffset = firstFileOffset;
    header.versionMinor = CAB_VERSION & 0xFF;
    header.versionMajor = CAB_VERSION >> 8;
    header.folderCount = static_cast<uint16_t>(folders.size());
    header.fileCount = static_cast<uint16_t>(files.size());

    std::vector<uint8_t> cabinet(CFHEADER_SIZE);
    EncodeHeader(header, cabinet.data());
    for (const CFFOLDER& folder : folderRecords) {
        uint8_t bytes[CFFOLDER_SIZE];
        EncodeFolder(folder, bytes);
        cabinet.insert(cabinet.end(), bytes, bytes + CFFOLDER_SIZE);
    }
    for (const auto& file : files) {
        uint8_t bytes[CFFILE_SIZE];
        EncodeFile(file.first, bytes);
        cabinet.insert(cabinet.end(), bytes, bytes + CFFILE_SIZE);
        cabinet.insert(cabinet.end(), file.second.begin(), file.second.end());
        cabinet.push_back(0);
    }
    for (const auto& area : dataAreas) cabinet.insert(cabinet.end(), area.begin(), area.end());
    return cabinet;
}

class QuantumCabinetTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(Treepak())) GTEST_SKIP() << "the tool is not built";
    }
    int Expand(const std::vector<uint8_t>& cabinet) {
        testsupport::WriteFileBytes(scratch_.path() / "q.cab", cabinet);
        std::string output;
        return testsupport::RunCommand("cd '" + scratch_.str() + "' && " + Treepak() + " q.cab out 2>&1", &output);
    }
    testsupport::ScratchDir scratch_;
};

TEST_F(QuantumCabinetTest, FoldersOfEveryKindOfWindowExpand) {
    using testsupport::RandomBytes;
    using testsupport::TextBytes;
    const std::vector<std::pair<uint32_t, std::vector<Entry>>> folders = {
        {15, {{"a.txt", "a.txt", TextBytes(50000, 1)}, {"b.bin", "b.bin", RandomBytes(20000, 2)}}},
        {21, {{"big\\c.txt", "big/c.txt", TextBytes(150000, 3)}}},
        {15, {{"d.txt", "d.txt", TextBytes(40000, 4)}, {"empty", "empty", {}}}},
        {10, {{"small\\e.txt", "small/e.txt", TextBytes(5000, 5)}}},
    };
    ASSERT_EQ(Expand(QuantumCabinet(folders)), 0);
    for (const auto& folder : folders) {
        for (const Entry& entry : folder.second) {
            const fs::path path = scratch_.path() / "out" / entry.path;
            ASSERT_TRUE(fs::exists(path)) << entry.path;
            EXPECT_TRUE(testsupport::ReadFileBytes(path) == entry.data) << entry.path;
        }
    }
}

TEST_F(QuantumCabinetTest, ATruncatedBlockFailsTheRun) {
    const std::vector<std::pair<uint32_t, std::vector<Entry>>> folders = {
        {16, {{"a.txt", "a.txt", testsupport::TextBytes(70000, 6)}}}};
    EXPECT_NE(Expand(QuantumCabinet(folders, true)), 0);
}

}  // namespace
}  // namespace qtest
