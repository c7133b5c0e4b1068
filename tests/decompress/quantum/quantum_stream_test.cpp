#include <gtest/gtest.h>

#include "decompress/decoder.h"
#include "decompress/quantum/quantum_model.h"
#include "quantum_test_support.h"
#include "test_support.h"

namespace treepak {

namespace qtest {
namespace {

// Each case in a fresh decoder with a 2^10 window.
// - All-zero input keeps code at 0, so every symbol is the last pair of its
//   model: selector 6 (long match; 2 shifts), length slot 26 (259; 5 shifts)
//   and position slot 19 (4 shifts) with 8 zero extra bits: distance 769.
//   That is 16 + 2 + 5 + 4 + 8 = 35 bits, and 259 zeros from the fresh window.
// - C0 00 00: selector target 5 picks symbol 1 (literal model 1); the
//   interval shifts once and folds once (underflow), then literal target 16
//   picks symbol 47, 'o', whose interval folds five times: 23 bits.
// - 84 DF 9A D7 decodes to D7 D8 in 31 bits; the second literal is settled
//   by bit 24, but the renormalisation after it reads bits 24..30, which must
//   exist. Bytes produced before the failure stay in the buffer.
// - An empty block still reads the first 16 code bits.
TEST(QuantumHandMade, StreamsDecodeOrFailBitExactly) {
    const struct {
        std::vector<uint8_t> input;
        uint32_t wanted;
        int result;
        std::vector<uint8_t> output;  // checked when not empty
    } cases[] = {
        {std::vector<uint8_t>(5, 0), 259, DECODER_OK, std::vector<uint8_t>(259, 0)},
        {std::vector<uint8_t>(4, 0), 259, DECODER_DATA_ERROR, {}},  // 35 bits from 32
        {std::vector<uint8_t>(5, 0), 258, DECODER_DATA_ERROR, {}},  // a match longer than wanted
        {{0xC0, 0x00, 0x00}, 1, DECODER_OK, {'o'}},
        {{0xC0, 0x00}, 1, DECODER_DATA_ERROR, {}},
        {{0x84, 0xDF, 0x9A, 0xD7}, 2, DECODER_OK, {0xD7, 0xD8}},
        {{0x84, 0xDF, 0x9A, 0xD6, 0x77}, 2, DECODER_OK, {0xD7, 0xD8}},  // bit 31 and extra bytes unused
        {{0x84, 0xDF, 0x9A}, 2, DECODER_DATA_ERROR, {0xD7, 0xD8}},
        {{0x12, 0x34}, 0, DECODER_OK, {}},
        {{0x12}, 0, DECODER_DATA_ERROR, {}},
        {{}, 0, DECODER_DATA_ERROR, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Decoder decoder(10);
        ASSERT_EQ(decoder.created, DECODER_OK);
        std::vector<uint8_t> out;
        EXPECT_EQ(decoder.Decode(cases[i].input, cases[i].wanted, &out), cases[i].result) << "case " << i;
        if (!cases[i].output.empty()) {
            EXPECT_EQ(out, cases[i].output) << "case " << i;
        }
    }
}

// The decoder divides by a model's total through a multiply; it must agree
// with integer division for every total a model can have and every product
// cum * range around each multiple of the total.
TEST(QuantumModel, ReciprocalDivisionIsExact) {
    for (uint32_t total = 1; total <= 3808; ++total) {
        const uint64_t reciprocal = quantum::ReciprocalOf(total);
        const uint32_t largest = total * 65536u;
        for (uint32_t q = 1; q <= 65536; q = q < 64 ? q + 1 : q * 2 - 1) {
            for (uint32_t x : {q * total - 1, q * total, std::min(q * total + total - 1, largest)}) {
                ASSERT_EQ(quantum::DivideByTotal(x, reciprocal), x / total) << x << " / " << total;
            }
        }
    }
}

TEST(QuantumContract, CreateAndDecodeCheckTheirParameters) {
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = reinterpret_cast<void*>(1);
    for (uint32_t bits : {0u, 9u, 22u, 31u}) {
        const DecoderConfig config{bits, 0};
        EXPECT_EQ(QdiCreate(&uncompressed, &config, TestAlloc, TestFree, &compressed, nullptr, nullptr), DECODER_BAD_PARAMETER);
        EXPECT_EQ(QdiCreate(&uncompressed, &config, TestAlloc, TestFree, &compressed, &handle, nullptr), DECODER_BAD_PARAMETER);
    }
    const struct { uint32_t asked, settled; } sizes[] = {{0, 32768}, {40000, 32768}, {1000, 1000}};
    for (const auto& size : sizes) {
        const DecoderConfig config{21, 3};
        uncompressed = size.asked;
        EXPECT_EQ(QdiCreate(&uncompressed, &config, TestAlloc, TestFree, &compressed, nullptr, nullptr), DECODER_OK);
        EXPECT_EQ(uncompressed, size.settled);
        EXPECT_EQ(compressed, size.settled + 10240);
    }
    // No memory at all; then the handle fits but the window does not, and
    // there is no spill file.
    for (uint32_t refuseFrom : {0u, 65536u}) {
        LimitAllocation(refuseFrom, 0, refuseFrom ? UINT32_MAX : 0);
        EXPECT_EQ(Decoder(16).created, DECODER_NO_MEMORY);
    }
    AllowAllAllocation();
    EXPECT_EQ(OutstandingBlocks(), 0u);

    Decoder decoder(12, nullptr, 1000);
    ASSERT_EQ(decoder.created, DECODER_OK);
    EXPECT_EQ(decoder.Decode({0, 0, 0, 0, 0, 0}, 1001), DECODER_BAD_SIZE);
}

// Garbage and damaged streams must end in 0 or 4, never outside the buffers
// (the sanitizer build checks the latter).
TEST(QuantumMalformed, RandomAndCorruptedInputFailsCleanly) {
    const uint64_t seed = 4242;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    testsupport::Rng rng(seed);
    for (uint32_t round = 0; round < 300; ++round) {
        Decoder decoder(10 + rng.Below(12));
        for (int block = 0; block < 3; ++block) {
            const auto input = testsupport::RandomBytes(rng.Below(3000), rng.Next());
            const int result = decoder.Decode(input, 1 + rng.Below(32768));
            EXPECT_TRUE(result == DECODER_OK || result == DECODER_DATA_ERROR) << result;
        }
    }
    const auto blocks = LoadStream("mixed13");
    for (uint32_t round = 0; round < 40; ++round) {
        Decoder decoder(13);
        for (const EncodedBlock& block : blocks) {
            std::vector<uint8_t> damaged = block.bytes;
            damaged[rng.Below(static_cast<uint32_t>(damaged.size()))] ^= static_cast<uint8_t>(1 + rng.Below(255));
            const int result = decoder.Decode(damaged, block.uncompressedSize);
            EXPECT_TRUE(result == DECODER_OK || result == DECODER_DATA_ERROR) << result;
        }
    }
}

}  // namespace
}  // namespace qtest

}  // namespace treepak
