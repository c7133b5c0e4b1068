// Blocks made by zlib's raw deflate, as another writer would make them: each
// data block an independent stream after "CK", with the previous block as
// preset dictionary, decoded one after another through the folder's ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "deflate_test_util.h"
#include "test_support.h"

namespace {

struct ZlibSettings {
    const char* name;
    int level;
    int strategy;
    bool flushInside;  // a sync flush: several DEFLATE blocks, an empty stored one
};
void PrintTo(const ZlibSettings& settings, std::ostream* out) { *out << settings.name; }

class ZlibCompat : public ::testing::TestWithParam<ZlibSettings> {};

TEST_P(ZlibCompat, FolderDecodesBlockByBlock) {
    // Text, noise and runs, with passages repeated from almost a block back.
    const uint64_t seed = 0x5EED0000u + GetParam().level * 16 + GetParam().strategy;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    const std::vector<uint8_t> text = testsupport::TextBytes(60000, seed), noise = testsupport::RandomBytes(9000, seed);
    std::vector<uint8_t> data;
    while (data.size() < 5 * kRingSize + 1234) {
        const uint32_t piece = 200 + rng.Below(6000);
        uint32_t kind = rng.Below(4);
        if (kind == 3 && data.size() < kRingSize) kind = 2;
        const size_t from = kind == 0 ? rng.Below(50000) : kind == 1 ? rng.Below(3000) : data.size() - kRingSize + rng.Below(300);
        for (uint32_t i = 0; i < piece; ++i) {
            if (kind == 0) data.push_back(text[from + i]);
            else if (kind == 1) data.push_back(noise[from + i]);
            else if (kind == 2) data.push_back(static_cast<uint8_t>(piece));
            else data.push_back(data[from + i]);
        }
    }
    data.resize(5 * kRingSize + 1234);

    FolderDecoder decoder;
    for (size_t offset = 0; offset < data.size(); offset += kRingSize) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(kRingSize, data.size() - offset));
        const std::vector<uint8_t> block = ZlibBlock(data.data() + offset, size, GetParam().level, GetParam().strategy,
                                                     offset ? data.data() + offset - kRingSize : nullptr,
                                                     GetParam().flushInside);
        ASSERT_LE(block.size(), kMaxCompressedBlock);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(block, &produced), DECODER_OK) << "block at " << offset;
        ASSERT_EQ(produced, size) << "block at " << offset;
        ASSERT_TRUE(std::equal(decoder.ring.begin(), decoder.ring.begin() + size, data.begin() + offset))
            << "block at " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LevelsAndStrategies, ZlibCompat,
    ::testing::Values(ZlibSettings{"level1", 1, Z_DEFAULT_STRATEGY, false}, ZlibSettings{"level6", 6, 0, false},
                      ZlibSettings{"level9", 9, 0, false}, ZlibSettings{"filtered", 6, Z_FILTERED, false},
                      ZlibSettings{"huffmanOnly", 6, Z_HUFFMAN_ONLY, false}, ZlibSettings{"fixed", 6, Z_FIXED, false},
                      ZlibSettings{"rle", 6, Z_RLE, false}, ZlibSettings{"stored", 0, 0, false},
                      ZlibSettings{"flushed", 9, 0, true}),
    [](const ::testing::TestParamInfo<ZlibSettings>& info) { return std::string(info.param.name); });

}  // namespace
