// Round trips through the test encoder and the decoder's operations: every
// window size, wrap-around, several blocks, every item kind, and models
// driven through rescales and reorders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "decompress/decoder.h"
#include "quantum_test_encoder.h"
#include "quantum_test_support.h"
#include "test_support.h"

namespace qtest {
namespace {

using testsupport::RandomBytes;
using testsupport::TextBytes;

// Text with long-range repeats, a stretch of random bytes (every literal
// model) and runs (long overlapping matches).
std::vector<uint8_t> MixedData(size_t size, uint64_t seed) {
    std::vector<uint8_t> data = TextBytes(size / 2, seed);
    const std::vector<uint8_t> noise = RandomBytes(size / 8, seed + 1);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), size / 16, 'z');
    const std::vector<uint8_t> again(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size / 4));
    data.insert(data.end(), again.begin(), again.end());
    data.resize(size, 0x55);
    return data;
}

TEST(QuantumRoundTrip, EveryWindowSizeWithDataLongerThanTheWindow) {
    for (uint32_t bits = 10; bits <= 21; ++bits) {
        const uint64_t seed = 1000 + bits;
        const size_t size = (size_t{1} << bits) + std::max<size_t>(size_t{1} << (bits - 1), 70000);
        const std::vector<uint8_t> data = MixedData(size, seed);
        QuantumTestEncoder encoder(bits);
        const std::vector<EncodedBlock> blocks = CompressQuantum(encoder, data);
        ASSERT_GT(blocks.size(), 1u);
        for (uint32_t s = 0; s < 7; ++s) EXPECT_GT(encoder.selectorUses[s], 0u) << "selector " << s << ", bits " << bits;
        // Past a megabyte every model has been reordered more than once.
        for (int k = 0; k < 4 && bits >= 20; ++k) EXPECT_GE(encoder.literalModel(k).reorders, 2u) << "literal model " << k;
        const DecodeRun run = DecodeFolder(bits, blocks);
        ASSERT_EQ(run.result, DECODER_OK) << "bits " << bits << " seed " << seed << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == data) << "bits " << bits << " seed " << seed;
    }
}

// A reference window for hand-placed items: cleared at the start, so a match
// reaching before the first byte yields zeros.
struct ReferenceWindow {
    explicit ReferenceWindow(uint32_t bits) : bytes(size_t{1} << bits, 0) {}
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> output;
    uint64_t position = 0;
    void Put(uint8_t b) {
        bytes[position++ & (bytes.size() - 1)] = b;
        output.push_back(b);
    }
    void Copy(uint32_t length, uint32_t distance) {
        for (uint32_t i = 0; i < length; ++i) Put(bytes[(position - distance) & (bytes.size() - 1)]);
    }
};

TEST(QuantumRoundTrip, HandPlacedMatchesOfEveryLengthAndExtremeDistances) {
    for (uint32_t bits : {10u, 12u, 13u, 19u, 21u}) {
        const uint32_t window = 1u << bits;
        QuantumTestEncoder encoder(bits);
        ReferenceWindow reference(bits);
        testsupport::Rng rng(bits);
        auto literal = [&](uint8_t b) { encoder.Literal(b); reference.Put(b); };
        auto match = [&](uint32_t length, uint32_t distance) { encoder.Match(length, distance); reference.Copy(length, distance); };
        std::vector<EncodedBlock> blocks;
        auto finish = [&] {
            const uint32_t produced = static_cast<uint32_t>(reference.output.size());
            uint32_t before = 0;
            for (const auto& b : blocks) before += b.uncompressedSize;
            blocks.push_back({encoder.FinishBlock(), produced - before});
        };
        // Before anything is produced a match reads the cleared window.
        match(5, window);
        match(3, std::min(window, 4096u));
        for (int i = 0; i < 300; ++i) literal(static_cast<uint8_t>(rng.Below(256)));
        match(3, 1);
        match(4, 2);
        match(259, 7);  // overlapping: repeats the last 7 bytes
        for (uint32_t length : {5u, 6u, 7u, 8u, 13u, 20u, 37u, 100u, 158u, 254u, 258u}) match(length, 1 + rng.Below(300));
        finish();
        // Fill past the window so full-window distances see real bytes.
        while (reference.output.size() < window + 5000) {
            const uint32_t room = 32768 - (static_cast<uint32_t>(reference.output.size()) % 32768);
            if (room < 300) {
                while (reference.output.size() % 32768 != 0) literal(static_cast<uint8_t>(rng.Below(256)));
                finish();
            } else if (rng.Below(4) == 0) {
                literal(static_cast<uint8_t>(rng.Below(256)));
            } else {
                const uint32_t length = 3 + rng.Below(257);
                const uint32_t limit = length == 3 ? std::min(window, 4096u) : length == 4 ? std::min(window, 262144u) : window;
                match(length, 1 + rng.Below(limit));
            }
        }
        while (reference.output.size() % 32768 != 0 && reference.output.size() % 32768 < 32000) literal('q');
        match(259, window);
        match(4, std::min(window, 262144u));
        match(3, std::min(window, 4096u));
        match(3, window / 2 > 4096 ? 4096 : window / 2);
        finish();
        const DecodeRun run = DecodeFolder(bits, blocks);
        ASSERT_EQ(run.result, DECODER_OK) << "bits " << bits << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == reference.output) << "bits " << bits;
    }
}

TEST(QuantumRoundTrip, SmallBlocksRestartTheCoderButShareModelsAndWindow) {
    const std::vector<uint8_t> data = MixedData(50000, 5);
    for (uint32_t blockSize : {1u, 7u, 1000u, 4099u}) {
        const std::vector<EncodedBlock> blocks = CompressQuantum(data, 12, blockSize);
        const DecodeRun run = DecodeFolder(12, blocks);
        ASSERT_EQ(run.result, DECODER_OK) << "block size " << blockSize << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == data) << "block size " << blockSize;
    }
}

TEST(QuantumRoundTrip, ResetStartsANewFolderAndItsAbsenceIsNoticed) {
    const std::vector<uint8_t> first = TextBytes(90000, 11);
    const std::vector<uint8_t> second = TextBytes(70000, 12);
    const std::vector<EncodedBlock> firstBlocks = CompressQuantum(first, 15);
    const std::vector<EncodedBlock> secondBlocks = CompressQuantum(second, 15);

    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    const DecoderConfig config{15, 0};
    ASSERT_EQ(QdiCreate(&uncompressed, &config, TestAlloc, TestFree, &compressed, &handle, nullptr), DECODER_OK);
    DecodeRun run = DecodeBlocks(handle, firstBlocks);
    ASSERT_EQ(run.result, DECODER_OK);
    EXPECT_TRUE(run.output == first);
    ASSERT_EQ(QdiReset(handle), DECODER_OK);
    run = DecodeBlocks(handle, secondBlocks);
    ASSERT_EQ(run.result, DECODER_OK);
    EXPECT_TRUE(run.output == second);
    // Without a reset the models still hold the second folder's statistics.
    run = DecodeBlocks(handle, firstBlocks);
    EXPECT_FALSE(run.result == DECODER_OK && run.output == first);
    EXPECT_EQ(QdiDestroy(handle), DECODER_OK);
}

}  // namespace
}  // namespace qtest
