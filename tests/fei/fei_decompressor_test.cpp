// The decompressor interface as the engine drives it: kinds, type words that
// keep or replace the decoder, and block-deflate data made by zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include "decompress/decoder.h"
#include "fei_harness.h"
#include "fei_test_cabinets.h"
#include "test_support.h"

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

// Two stored folders, the second with the given type word, one file each.
CabLayout TwoFolders(uint16_t firstType, uint16_t secondType) {
    CabLayout layout = StoredCabinet({{"a", {1, 2, 3}}}, firstType);
    CabLayout other = StoredCabinet({{"b", {4, 5}}}, secondType);
    other.files[0].folderIndex = 1;
    layout.folders.push_back(other.folders[0]);
    layout.files.push_back(other.files[0]);
    return layout;
}

TEST(FeiDecompressor, UnknownKindsAndBadQuantumWindows) {
    struct Case {
        uint16_t type;
        int code;
    };
    for (const Case& c : {Case{0x0004, FEIERR_COMPRESSION_TYPE}, Case{0x000E, FEIERR_COMPRESSION_TYPE},
                          Case{0x000F, FEIERR_COMPRESSION_TYPE}, Case{MakeQuantumType(9), FEIERR_DECODE},
                          Case{MakeQuantumType(22), FEIERR_DECODE}}) {
        Harness h;
        h.cabinets["x.cab"] = BuildCabinetBytes(TwoFolders(c.type, COMPRESS_NONE));
        EXPECT_EQ(h.Extract("x.cab"), 0) << c.type;
        EXPECT_EQ(h.error.errorCode, c.code) << c.type;
        // After a failed creation the next folder with a valid word works.
        h.cabinets["y.cab"] = BuildCabinetBytes(StoredCabinet({{"z", {9}}}));
        EXPECT_EQ(h.Extract("y.cab"), 1) << c.type;
        EXPECT_EQ(h.extracted["z"], std::vector<uint8_t>{9});
    }
}

TEST(FeiDecompressor, SameTypeWordKeepsItsBuffersAndANewOneReplacesThem) {
    Harness same;
    same.cabinets["x.cab"] = BuildCabinetBytes(TwoFolders(COMPRESS_NONE, COMPRESS_NONE));
    ASSERT_EQ(same.Extract("x.cab"), 1);
    const int allocationsAfterOne = same.allocations;
    // A second pass reuses everything: reserve buffers, block buffers.
    ASSERT_EQ(same.Extract("x.cab"), 1);
    EXPECT_EQ(same.allocations, allocationsAfterOne);

    // Bits 4-7 of the word make it a different word of the same kind.
    Harness changed;
    changed.cabinets["x.cab"] = BuildCabinetBytes(TwoFolders(COMPRESS_NONE, 0x0010));
    ASSERT_EQ(changed.Extract("x.cab"), 1);
    EXPECT_EQ(changed.allocations, allocationsAfterOne + 2);
    EXPECT_EQ(changed.extracted["b"], (std::vector<uint8_t>{4, 5}));
}

bool DeflateDecoderAvailable() {
    uint32_t uncompressed = CAB_BLOCK_SIZE, compressed = 0;
    return DdiCreate(&uncompressed, nullptr, nullptr, &compressed, nullptr) == DECODER_OK;
}

// Block-deflate blocks from zlib: "CK", then one raw deflate stream per block
// with the previous 32768 bytes as preset dictionary.
std::vector<testsupport::CabBlockLayout> ZlibBlocks(const std::vector<uint8_t>& stream, int level) {
    std::vector<testsupport::CabBlockLayout> blocks;
    for (size_t at = 0; at < stream.size(); at += CAB_BLOCK_SIZE) {
        const size_t size = std::min<size_t>(CAB_BLOCK_SIZE, stream.size() - at);
        z_stream z{};
        EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
        if (at > 0) {
            const size_t history = std::min<size_t>(at, DEFLATE_HISTORY_SIZE);
            deflateSetDictionary(&z, stream.data() + at - history, static_cast<uInt>(history));
        }
        std::vector<uint8_t> out(2 + deflateBound(&z, size));
        out[0] = DEFLATE_BLOCK_MAGIC[0];
        out[1] = DEFLATE_BLOCK_MAGIC[1];
        z.next_in = const_cast<Bytef*>(stream.data() + at);
        z.avail_in = static_cast<uInt>(size);
        z.next_out = out.data() + 2;
        z.avail_out = static_cast<uInt>(out.size() - 2);
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        out.resize(2 + z.total_out);
        deflateEnd(&z);
        testsupport::CabBlockLayout block;
        block.data = out;
        block.uncompressedSize = static_cast<uint16_t>(size);
        blocks.push_back(block);
    }
    return blocks;
}

TEST(FeiDecompressor, BlockDeflateFoldersFromZlib) {
    if (!DeflateDecoderAvailable()) GTEST_SKIP() << "block deflate decoder not built";
    const auto a = testsupport::TextBytes(100000, 31);
    const auto b = testsupport::TextBytes(30000, 32);
    CabLayout layout = StoredCabinet({{"a", a}, {"b", b}}, COMPRESS_DEFLATE);
    std::vector<uint8_t> stream = a;
    stream.insert(stream.end(), b.begin(), b.end());
    for (int level : {1, 6, 9}) {
        layout.folders[0].blocks = ZlibBlocks(stream, level);
        // Reverse order makes the engine restart the folder.
        std::swap(layout.files[0], layout.files[1]);
        Harness h;
        h.cabinets["x.cab"] = BuildCabinetBytes(layout);
        ASSERT_EQ(h.Extract("x.cab"), 1) << level << " " << h.error.errorCode;
        EXPECT_EQ(h.extracted["a"], a);
        EXPECT_EQ(h.extracted["b"], b);
    }
}

}  // namespace
}  // namespace feitest
