// Round trips through the test encoder and the decoder's operations: every
// window size, wrap-around, blocks of any size, and every item kind at the
// edges of its length and distance.
#include <gtest/gtest.h>

#include <algorithm>

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

// Past a megabyte every model has been rescaled and reordered many times.
TEST(QuantumRoundTrip, EveryWindowSizeWithDataLongerThanTheWindow) {
    for (uint32_t bits = 10; bits <= 21; ++bits) {
        const uint64_t seed = 1000 + bits;
        const size_t size = (size_t{1} << bits) + std::max<size_t>(size_t{1} << (bits - 1), 70000);
        const std::vector<uint8_t> data = MixedData(size, seed);
        const DecodeRun run = DecodeFolder(bits, CompressQuantum(data, bits));
        ASSERT_EQ(run.result, DECODER_OK) << "bits " << bits << " seed " << seed << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == data) << "bits " << bits << " seed " << seed;
    }
}

// Each block restarts the arithmetic coder; models and window carry over.
TEST(QuantumRoundTrip, SmallBlocksRestartTheCoderButShareModelsAndWindow) {
    const std::vector<uint8_t> data = MixedData(50000, 5);
    for (uint32_t blockSize : {1u, 7u, 1000u, 4099u}) {
        const DecodeRun run = DecodeFolder(12, CompressQuantum(data, 12, blockSize));
        ASSERT_EQ(run.result, DECODER_OK) << "block size " << blockSize << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == data) << "block size " << blockSize;
    }
}

// Matches before anything is produced read the cleared window; then every
// length class at short distances, and after more than a window of bytes
// the longest distance of each class.
TEST(QuantumRoundTrip, HandPlacedMatchesAtTheEdges) {
    for (uint32_t bits : {10u, 13u, 19u, 21u}) {
        const uint32_t window = 1u << bits, shortReach = std::min(window, 4096u);
        QuantumTestEncoder encoder(bits);
        std::vector<uint8_t> expected;
        std::vector<EncodedBlock> blocks;
        size_t blockStart = 0;
        auto finish = [&] {
            blocks.push_back({encoder.FinishBlock(), static_cast<uint32_t>(expected.size() - blockStart)});
            blockStart = expected.size();
        };
        auto literal = [&](uint8_t b) {
            encoder.Literal(b);
            expected.push_back(b);
            if (expected.size() % 32768 == 0) finish();
        };
        auto match = [&](uint32_t length, uint32_t distance) {
            encoder.Match(length, distance);
            for (uint32_t i = 0; i < length; ++i)
                expected.push_back(distance > expected.size() ? 0 : expected[expected.size() - distance]);
        };
        testsupport::Rng rng(bits);
        match(5, window);
        match(3, shortReach);
        for (int i = 0; i < 300; ++i) literal(static_cast<uint8_t>(rng.Below(256)));
        match(3, 1);
        match(4, 2);
        match(259, 7);  // overlapping: repeats the last 7 bytes
        for (uint32_t length : {5u, 6u, 7u, 8u, 13u, 20u, 37u, 100u, 158u, 254u, 258u}) match(length, 1 + rng.Below(300));
        finish();
        while (expected.size() < window + 5000 || expected.size() % 32768 != 31000) literal(static_cast<uint8_t>(rng.Next()));
        match(259, window);
        match(4, std::min(window, 262144u));
        match(3, shortReach);
        finish();
        const DecodeRun run = DecodeFolder(bits, blocks);
        ASSERT_EQ(run.result, DECODER_OK) << "bits " << bits << " block " << run.failedBlock;
        EXPECT_TRUE(run.output == expected) << "bits " << bits;
    }
}

}  // namespace
}  // namespace qtest
