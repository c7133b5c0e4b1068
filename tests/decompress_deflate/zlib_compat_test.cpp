// Blocks made by zlib's raw deflate, as another writer would make them: each
// data block an independent stream after "CK", with the previous block as
// preset dictionary, decoded one after another through the folder's ring.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include "decompress/decoder.h"
#include "deflate_test_util.h"
#include "test_support.h"

namespace {

struct ZlibSettings {
    int level;
    int strategy;
    const char* name;
    // Sync flushes inside a block give several DEFLATE blocks per data block,
    // with empty stored blocks between them.
    bool flushInside = false;
};

void PrintTo(const ZlibSettings& settings, std::ostream* out) { *out << settings.name; }

std::vector<uint8_t> CompressBlock(const ZlibSettings& settings, const uint8_t* data, uint32_t size,
                                   const uint8_t* dictionary) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, settings.level, Z_DEFLATED, -15, 9, settings.strategy), Z_OK);
    if (dictionary != nullptr) {
        EXPECT_EQ(deflateSetDictionary(&stream, dictionary, kRingSize), Z_OK);
    }
    std::vector<uint8_t> out(2 + deflateBound(&stream, size) + 64);
    out[0] = 'C';
    out[1] = 'K';
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    stream.next_in = const_cast<uint8_t*>(data);
    if (settings.flushInside) {
        const uint32_t half = size / 3;
        stream.avail_in = half;
        EXPECT_EQ(deflate(&stream, Z_SYNC_FLUSH), Z_OK);
        stream.avail_in = size - half;
    } else {
        stream.avail_in = size;
    }
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.erase(out.begin() + 2 + stream.total_out, out.end());
    deflateEnd(&stream);
    return out;
}

// A folder's worth of mixed content: text, incompressible bytes, long runs,
// and passages repeated from up to a whole block back.
std::vector<uint8_t> FolderContent(uint64_t seed) {
    testsupport::Rng rng(seed);
    std::vector<uint8_t> data;
    const std::vector<uint8_t> text = testsupport::TextBytes(60000, seed);
    const std::vector<uint8_t> noise = testsupport::RandomBytes(40000, seed + 1);
    while (data.size() < 5 * kRingSize + 1234) {
        const uint32_t piece = 200 + rng.Below(6000);
        switch (rng.Below(4)) {
        case 0: {
            const uint32_t from = rng.Below(static_cast<uint32_t>(text.size() - piece));
            data.insert(data.end(), text.begin() + from, text.begin() + from + piece);
            break;
        }
        case 1: {
            const uint32_t from = rng.Below(static_cast<uint32_t>(noise.size() - piece));
            data.insert(data.end(), noise.begin() + from, noise.begin() + from + piece);
            break;
        }
        case 2:
            data.insert(data.end(), piece, static_cast<uint8_t>(rng.Below(256)));
            break;
        default:
            if (data.size() > kRingSize) {
                const size_t back = kRingSize - 300 + rng.Below(300);
                const size_t from = data.size() - back;
                for (uint32_t i = 0; i < piece; ++i) data.push_back(data[from + i]);
            }
            break;
        }
    }
    data.resize(5 * kRingSize + 1234);
    return data;
}

class ZlibCompat : public ::testing::TestWithParam<ZlibSettings> {};

TEST_P(ZlibCompat, FolderDecodesBlockByBlock) {
    const ZlibSettings settings = GetParam();
    const uint64_t seed = 0x5EED0000u + static_cast<uint64_t>(settings.level * 16 + settings.strategy);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::vector<uint8_t> data = FolderContent(seed);
    FolderDecoder decoder;
    for (size_t offset = 0; offset < data.size(); offset += kRingSize) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(kRingSize, data.size() - offset));
        const uint8_t* dictionary = offset == 0 ? nullptr : data.data() + offset - kRingSize;
        const std::vector<uint8_t> block = CompressBlock(settings, data.data() + offset, size, dictionary);
        ASSERT_LE(block.size(), kMaxCompressedBlock);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(block, &produced), DECODER_OK) << "block at " << offset;
        ASSERT_EQ(produced, size) << "block at " << offset;
        ASSERT_TRUE(std::equal(data.begin() + offset, data.begin() + offset + size, decoder.ring.begin()))
            << "block at " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LevelsAndStrategies, ZlibCompat,
    ::testing::Values(ZlibSettings{1, Z_DEFAULT_STRATEGY, "level1"}, ZlibSettings{2, Z_DEFAULT_STRATEGY, "level2"},
                      ZlibSettings{3, Z_DEFAULT_STRATEGY, "level3"}, ZlibSettings{4, Z_DEFAULT_STRATEGY, "level4"},
                      ZlibSettings{5, Z_DEFAULT_STRATEGY, "level5"}, ZlibSettings{6, Z_DEFAULT_STRATEGY, "level6"},
                      ZlibSettings{7, Z_DEFAULT_STRATEGY, "level7"}, ZlibSettings{8, Z_DEFAULT_STRATEGY, "level8"},
                      ZlibSettings{9, Z_DEFAULT_STRATEGY, "level9"}, ZlibSettings{6, Z_FILTERED, "filtered"},
                      ZlibSettings{6, Z_HUFFMAN_ONLY, "huffmanOnly"}, ZlibSettings{6, Z_FIXED, "fixed"},
                      ZlibSettings{6, Z_RLE, "rle"}, ZlibSettings{9, Z_DEFAULT_STRATEGY, "flushed", true},
                      ZlibSettings{0, Z_DEFAULT_STRATEGY, "stored"}),
    [](const ::testing::TestParamInfo<ZlibSettings>& info) { return std::string(info.param.name); });

}  // namespace
