// Malformed streams fail with a data error that lasts until a reset and
// never touch memory outside the frame and its 4 bytes of slack (the
// sanitizer build checks the latter); the reader-facing entry points refuse
// bad sizes and windows and survive every allocation failure.
#include <gtest/gtest.h>

#include "cabinet/format.h"
#include "cabinet/lzx_format.h"
#include "decompress/decoder.h"
#include "lzx_bit_writer.h"
#include "lzx_harness.h"
#include "test_support.h"

namespace treepak {

namespace lzxtest {
namespace {

std::vector<uint8_t> BlockHeaderOnly(uint32_t type, uint32_t size) {
    BitWriter w;
    w.Put(1, 0);
    w.Put(3, type), w.Put(24, size);
    w.Align(false);
    std::vector<uint8_t> bytes = w.Take();
    bytes.resize(64, 0);
    return bytes;
}

// Trees must form complete codes: a single literal of length 1 does not.
std::vector<uint8_t> IncompleteTree() {
    BitWriter w;
    w.Put(1, 0);
    w.Put(3, 1), w.Put(24, 10);
    for (int section = 0; section < 3; ++section) {
        for (uint32_t s = 0; s < 20; ++s) w.Put(4, s == 16 || s == 18 ? 1 : 0);
        if (section == 0) w.Put(1, 0);  // symbol 16: length (0 - 16) mod 17 = 1 for literal 0
        for (int i = 0; i < 5; ++i) w.Put(1, 1), w.Put(5, 31);  // zeros up to the section's end
    }
    w.Align(false);
    return w.Take();
}

Frame FirstFrame(const std::vector<uint8_t>& data) { return EncodeFolders({data}, 15).at(0).at(0); }

// Unknown block types, an incomplete tree, a frame that asks for more bytes
// than its bits hold, a match that would pass the frame's end, and bytes
// missing from a compressed and from an uncompressed (random data) block;
// each failure stays until a reset.
TEST(LzxMalformed, BadFramesFailUntilReset) {
    const std::vector<uint8_t> text = testsupport::TextBytes(5000, 1);
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> bad;
    for (uint32_t type : {0u, 4u, 5u, 6u, 7u}) bad.push_back({BlockHeaderOnly(type, 100), 100});
    bad.push_back({IncompleteTree(), 10});
    bad.push_back({FirstFrame(std::vector<uint8_t>(5000, 'a')).bytes, 4000});  // match past the end
    for (const auto& data : {text, testsupport::RandomBytes(5000, 2)}) {
        std::vector<uint8_t> cut = FirstFrame(data).bytes;
        cut.resize(cut.size() / 2);
        bad.push_back({cut, 5000});
    }
    const Frame good = FirstFrame(text);
    for (size_t i = 0; i < bad.size(); ++i) {
        LdiDecoder decoder(1u << 15);
        std::vector<uint8_t> out;
        EXPECT_EQ(decoder.Decode(bad[i].first, bad[i].second, &out), DECODER_DATA_ERROR) << "case " << i;
        EXPECT_EQ(decoder.Decode(good.bytes, good.uncompressedSize, &out), DECODER_DATA_ERROR) << "case " << i;
        ASSERT_EQ(LdiReset(decoder.handle), DECODER_OK);
        out.clear();
        EXPECT_EQ(decoder.Decode(good.bytes, good.uncompressedSize, &out), DECODER_OK) << "case " << i;
        EXPECT_TRUE(out == text) << "case " << i;
    }
}

TEST(LdiContract, SizesWindowsAndAllocationFailures) {
    const DecoderConfig good{1u << 15, 7};
    uint32_t uncompressed = 1000, compressed = 0;
    EXPECT_EQ(LdiCreate(&uncompressed, &good, testsupport::CountingAlloc, testsupport::CountingFree, &compressed, nullptr, nullptr), DECODER_OK);
    EXPECT_EQ(uncompressed, 1000u);
    EXPECT_EQ(compressed, 1000u + LZX_BLOCK_SLACK);
    for (uint32_t window : {0u, 1u << 14, 3u << 15, 1u << 22, 0x80000000u}) {
        const DecoderConfig bad{window, 0};
        void* handle = reinterpret_cast<void*>(1);
        EXPECT_EQ(LdiCreate(&uncompressed, &bad, testsupport::CountingAlloc, testsupport::CountingFree, &compressed, &handle, nullptr),
                  DECODER_BAD_PARAMETER) << window;
    }
    {
        LdiDecoder decoder(1u << 15);
        std::vector<uint8_t> sink;
        EXPECT_EQ(decoder.Decode({}, 32769, &sink), DECODER_BAD_SIZE);
    }

    // Every allocation failure is out of memory and frees what was taken.
    const DecoderConfig config{1u << 16, 0};
    testsupport::FailEachAllocation(3, [&](int) {
        uncompressed = 32768;
        void* handle = nullptr;
        EXPECT_EQ(LdiCreate(&uncompressed, &config, testsupport::CountingAlloc, testsupport::CountingFree, &compressed,
                            &handle, nullptr),
                  DECODER_NO_MEMORY);
        EXPECT_EQ(handle, nullptr);
    });
}

}  // namespace
}  // namespace lzxtest

}  // namespace treepak
