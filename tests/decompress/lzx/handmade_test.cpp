#include <gtest/gtest.h>

#include <string>

#include "cabinet/lzx_format.h"
#include "decompress/decoder.h"
#include "lzx_bit_writer.h"
#include "lzx_harness.h"
#include "test_support.h"

namespace treepak {

namespace lzxtest {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// A tree section whose pretree has exactly two symbols of length 1, `a`
// (code 0) and `b` (code 1), a < b.
void PutTwoSymbolPretree(BitWriter& w, uint32_t a, uint32_t b) {
    for (uint32_t s = 0; s < 20; ++s) w.Put(4, s == a || s == b ? 1 : 0);
}

// 249 zero lengths as four runs of 51 and one of 45 (pretree symbol 18 is
// code 1).
void PutAllZeroLengthTree(BitWriter& w) {
    PutTwoSymbolPretree(w, 8, 18);
    for (int i = 0; i < 4; ++i) w.Put(1, 1), w.Put(5, 31);
    w.Put(1, 1), w.Put(5, 25);
}

// Window 2^16 has 32 slots, so 256 literals and 256 match headers all of
// length 9 form a complete code in which every symbol's code is its number.
void PutFlatMainTree(BitWriter& w) {
    for (int section = 0; section < 2; ++section) {
        PutTwoSymbolPretree(w, 8, 18);  // symbol 8: (0 - 8) mod 17 = 9
        for (int i = 0; i < 256; ++i) w.Put(1, 0);
    }
    PutAllZeroLengthTree(w);
}

uint32_t Header(uint32_t slot, uint32_t length) { return 256 + 8 * slot + (length - 2); }

std::vector<uint8_t> FlatVerbatimStream() {
    BitWriter w;
    w.Put(1, 0);  // no E8 translation
    w.Put(3, 1), w.Put(8, 0), w.Put(8, 0), w.Put(8, 18);
    PutFlatMainTree(w);
    for (char c : std::string("abc")) w.Put(9, static_cast<uint8_t>(c));
    w.Put(9, Header(4, 6)), w.Put(1, 1);   // formatted 5: distance 3, length 6
    w.Put(9, Header(0, 2));                // R0 (3), length 2
    w.Put(9, Header(3, 3));                // distance 1, length 3
    w.Put(9, Header(13, 4)), w.Put(5, 6);  // formatted 102: distance 100, before the folder
    w.Align(false);
    return w.Take();
}

const std::vector<uint8_t> kFlatVerbatimOutput = [] {
    std::vector<uint8_t> v = Bytes("abcabcabcabbbb");
    v.insert(v.end(), 4, 0);
    return v;
}();

// The flat-code stream, after a folder has filled the window: a reset must
// leave nothing behind, so the reach before the first byte reads zeros again.
TEST(LzxHandMade, VerbatimBlockWithFlatCodeAfterAReset) {
    LdiDecoder decoder(1u << 16);
    const DecodeResult first = decoder.DecodeAll(EncodeFolders({std::vector<uint8_t>(70000, 0x5A)}, 16).at(0));
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(LdiReset(decoder.handle), DECODER_OK);
    std::vector<uint8_t> out;
    ASSERT_EQ(decoder.Decode(FlatVerbatimStream(), 18, &out), DECODER_OK);
    EXPECT_EQ(out, kFlatVerbatimOutput);
}

// An odd uncompressed block "xyz" that sets R0 = 3, then a verbatim block
// whose literal tree ends in a run of exactly four zeros (symbol 17, z = 0)
// and whose headers are the four R0 lengths 2..5.
std::vector<uint8_t> UncompressedThenVerbatim(size_t* firstFrameEnd) {
    BitWriter w;
    w.Put(1, 0);
    w.Put(3, 3), w.Put(8, 0), w.Put(8, 0), w.Put(8, 3);
    w.Align(true);
    for (uint32_t r : {3u, 1u, 1u})
        for (int i = 0; i < 4; ++i) w.RawByte(static_cast<uint8_t>(r >> (8 * i)));
    for (char c : std::string("xyz")) w.RawByte(static_cast<uint8_t>(c));
    *firstFrameEnd = w.Size();
    w.RawByte(0);  // pad byte of the odd block

    w.Put(3, 1), w.Put(8, 0), w.Put(8, 0), w.Put(8, 6);
    PutTwoSymbolPretree(w, 9, 17);  // literals 0..251 get length 8, 252..255 none
    for (int i = 0; i < 252; ++i) w.Put(1, 0);
    w.Put(1, 1), w.Put(4, 0);
    PutTwoSymbolPretree(w, 9, 18);  // headers 256..259 length 8, then 236 zeros
    for (int i = 0; i < 4; ++i) w.Put(1, 0);
    for (int i = 0; i < 4; ++i) w.Put(1, 1), w.Put(5, 31);
    w.Put(1, 1), w.Put(5, 12);
    PutAllZeroLengthTree(w);
    w.Put(8, 'w');  // literal codes are their values
    w.Put(8, 255);  // symbol 259: R0 with length 5
    w.Align(false);
    return w.Take();
}

// In one frame; cut after "xyz", where the pad byte opens the second frame
// and the bits resume on the byte after it; and with frames of 0 bytes
// before the stream header and of a lone pad byte.
TEST(LzxHandMade, UncompressedBlockThenVerbatimAcrossFrames) {
    size_t split = 0;
    const std::vector<uint8_t> stream = UncompressedThenVerbatim(&split);
    const std::vector<uint8_t> head(stream.begin(), stream.begin() + split), tail(stream.begin() + split, stream.end());
    const struct {
        std::vector<std::pair<std::vector<uint8_t>, uint32_t>> frames;
        const char* output;
    } cases[] = {
        {{{stream, 9}}, "xyzwyzwyz"},
        {{{head, 3}, {tail, 6}}, "xyzwyzwyz"},
        {{{{}, 0}, {head, 3}, {{stream[split]}, 0}}, "xyz"},
    };
    for (const auto& c : cases) {
        LdiDecoder decoder(1u << 15);
        std::vector<uint8_t> out;
        for (const auto& [bytes, size] : c.frames) ASSERT_EQ(decoder.Decode(bytes, size, &out), DECODER_OK);
        EXPECT_EQ(out, Bytes(c.output));
    }
}

// One uncompressed block over 32769 frames of 16 bytes, each a call with
// operand 0 at its start. Before the limit the decoder turns the absolute
// target 0 into the relative -position; from frame 32768 on it leaves it.
TEST(LzxHandMade, TranslationEndsAfter32768Frames) {
    constexpr uint32_t kFrame = 16, kFrames = LZX_E8_MAX_FRAMES + 1;
    BitWriter w;
    w.Put(1, 1), w.Put(32, LZX_E8_TRANSLATION_SIZE);
    w.Put(3, LZX_BLOCK_UNCOMPRESSED), w.Put(24, kFrame * kFrames);
    w.Align(true);
    for (int i = 0; i < 12; ++i) w.RawByte(i % 4 == 0 ? 1 : 0);  // R0, R1, R2 = 1
    const std::vector<uint8_t> header = w.Take();
    LdiDecoder decoder(1u << 15);
    std::vector<uint8_t> out, frame(kFrame, 0);
    frame[0] = 0xE8;
    for (uint32_t i = 0; i < kFrames; ++i) {
        std::vector<uint8_t> bytes = i == 0 ? header : std::vector<uint8_t>{};
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        ASSERT_EQ(decoder.Decode(bytes, kFrame, &out), DECODER_OK) << "frame " << i;
        const uint32_t expected = i < LZX_E8_MAX_FRAMES ? 0u - i * kFrame : 0;
        const uint8_t* operand = out.data() + i * kFrame + 1;
        ASSERT_EQ(operand[0] | operand[1] << 8 | operand[2] << 16 | uint32_t{operand[3]} << 24, expected) << "frame " << i;
    }
}

// The compressor's streams reach every position slot: copies planted at the
// first and last distance of each slot (capped at W - 3) in low-entropy
// filler, each copy of bytes the filler never holds, so that only the
// planted source matches.
TEST(LzxRoundTrip, MatchesInEverySlotUpToTheWindow) {
    for (uint32_t bits : {15u, 21u}) {
        SCOPED_TRACE(bits);
        const uint32_t window = 1u << bits, slots = LzxSlotCount(window);
        testsupport::Rng rng(bits);
        std::vector<uint8_t> data(window + 48 * 2 * slots + 64);
        for (auto& b : data) b = static_cast<uint8_t>(rng.Below(16));
        size_t at = window + 16;
        for (uint32_t s = 4; s < slots; ++s) {
            const uint32_t first = LzxSlotBase(s) - 2;
            const uint32_t last = std::min(first + (1u << LzxFooterBits(s)) - 1, window - 3);
            for (uint32_t distance : {first, last}) {
                for (size_t k = 0; k < 12; ++k) data[at + k - distance] = static_cast<uint8_t>(0x80 | rng.Below(128));
                for (size_t k = 0; k < 12; ++k) data[at + k] = data[at + k - distance];
                at += 48;
            }
        }
        const DecodeResult result = DecodeFrames(EncodeFolders({data}, bits).at(0), window);
        ASSERT_EQ(result.status, 0) << "frame " << result.failedFrame;
        EXPECT_TRUE(result.output == data);
    }
}

}  // namespace
}  // namespace lzxtest

}  // namespace treepak
