// Back references through the folder's ring: matches that reach into the
// previous block, wrap around the ring's end, overlap their own output, and
// the output room that ends a block early.
#include <gtest/gtest.h>

#include <string>

#include "cabinet/deflate_format.h"
#include "decompress/decoder.h"
#include "deflate_test_util.h"
#include "test_support.h"

namespace {

void PutFixedHeader(BitWriter& out, bool final) {
    out.Put(final ? 1 : 0, 1);
    out.Put(DEFLATE_BLOCK_FIXED, 2);
}

// Fills the ring with a recognisable previous block.
void DecodePreviousBlock(FolderDecoder& decoder, RingModel& model, uint64_t seed) {
    const std::vector<uint8_t> previous = testsupport::RandomBytes(kRingSize, seed);
    BitWriter out;
    out.Put(1, 1);
    out.Put(DEFLATE_BLOCK_STORED, 2);
    out.AlignToByte();
    out.Put(kRingSize, 16);
    out.Put(kRingSize ^ 0xFFFF, 16);
    std::vector<uint8_t> block = out.Finish();
    block.insert(block.end(), previous.begin(), previous.end());
    uint32_t produced = 0;
    ASSERT_EQ(decoder.Decode(block, &produced), DECODER_OK);
    ASSERT_EQ(produced, kRingSize);
    model.ring = previous;
}

TEST(DeflateRingHistory, FarthestDistanceReachesPreviousBlockStart) {
    FolderDecoder decoder;
    RingModel model;
    DecodePreviousBlock(decoder, model, 7);
    BitWriter out;
    PutFixedHeader(out, true);
    PutFixedMatch(out, 4, kRingSize);  // the previous block's first four bytes
    PutFixedLiteral(out, 'x');
    PutFixedMatch(out, 3, kRingSize);  // same ring slot: the previous block's bytes 5..7
    PutFixedLiteral(out, DEFLATE_END_OF_BLOCK);
    uint32_t produced = 0;
    ASSERT_EQ(decoder.Decode(out.Finish(), &produced), DECODER_OK);
    ASSERT_EQ(produced, 8u);
    const std::vector<uint8_t>& previous = model.ring;
    EXPECT_EQ(std::vector<uint8_t>(decoder.ring.begin(), decoder.ring.begin() + 8),
              (std::vector<uint8_t>{previous[0], previous[1], previous[2], previous[3], 'x', previous[5],
                                    previous[6], previous[7]}));
}

// Random literals and matches of every distance class, checked against the
// byte-by-byte ring model over several blocks of one folder.
TEST(DeflateRingHistory, RandomMatchesAgreeWithRingModel) {
    const uint64_t seed = 20261205;
    SCOPED_TRACE("seed " + std::to_string(seed));
    testsupport::Rng rng(seed);
    FolderDecoder decoder;
    RingModel model;
    DecodePreviousBlock(decoder, model, seed);
    const uint32_t blockSizes[] = {kRingSize, kRingSize, kRingSize, 5000};
    for (uint32_t blockSize : blockSizes) {
        model.position = 0;
        BitWriter out;
        PutFixedHeader(out, true);
        while (model.position < blockSize) {
            const uint32_t left = blockSize - model.position;
            if (left < DEFLATE_MIN_MATCH || rng.Below(4) == 0) {
                const uint8_t byte = static_cast<uint8_t>(rng.Below(256));
                PutFixedLiteral(out, byte);
                model.Literal(byte);
                continue;
            }
            uint32_t distance;
            switch (rng.Below(4)) {
            case 0: distance = 1 + rng.Below(8); break;                 // overlapping patterns
            case 1: distance = 1 + rng.Below(300); break;
            case 2: distance = model.position + 1 + rng.Below(kRingSize - model.position); break;  // wraps
            default: distance = 1 + rng.Below(kRingSize); break;
            }
            const uint32_t longest = left < DEFLATE_MAX_MATCH ? left : DEFLATE_MAX_MATCH;
            const uint32_t length = DEFLATE_MIN_MATCH + rng.Below(longest - DEFLATE_MIN_MATCH + 1);
            PutFixedMatch(out, length, distance);
            model.Match(length, distance);
        }
        PutFixedLiteral(out, DEFLATE_END_OF_BLOCK);
        const std::vector<uint8_t> block = out.Finish();
        ASSERT_LE(block.size(), kMaxCompressedBlock);
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(block, &produced), DECODER_OK);
        ASSERT_EQ(produced, blockSize);
        ASSERT_TRUE(std::equal(decoder.ring.begin(), decoder.ring.begin() + blockSize, model.ring.begin()));
    }
}

// A stream with more output than the room stops where the room ends, inside
// a match or a stored block, ignoring the rest of its input.
TEST(DeflateRingHistory, OutputRoomEndsTheBlock) {
    BitWriter matches;
    PutFixedHeader(matches, false);
    PutFixedLiteral(matches, 'a');
    for (int i = 0; i < 200; ++i) PutFixedMatch(matches, DEFLATE_MAX_MATCH, 1);  // 51601 bytes
    matches.Put(0x7F, 8);  // never read
    const std::vector<uint8_t> matchBlock = matches.Finish();

    BitWriter stored;
    stored.Put(1, 1);
    stored.Put(DEFLATE_BLOCK_STORED, 2);
    stored.AlignToByte();
    stored.Put(1000, 16);
    stored.Put(1000 ^ 0xFFFF, 16);
    std::vector<uint8_t> storedBlock = stored.Finish();
    storedBlock.resize(storedBlock.size() + 1000, 'b');

    for (uint32_t room : {kRingSize, 100u, 1u}) {
        FolderDecoder decoder;
        uint32_t produced = 0;
        ASSERT_EQ(decoder.Decode(matchBlock, &produced, room), DECODER_OK);
        EXPECT_EQ(produced, room);
        EXPECT_EQ(std::count(decoder.ring.begin(), decoder.ring.begin() + room, 'a'), room);
        EXPECT_EQ(std::count(decoder.ring.begin() + room, decoder.ring.end(), 'a'), 0);
        if (room < 1000) {
            ASSERT_EQ(decoder.Decode(storedBlock, &produced, room), DECODER_OK);
            EXPECT_EQ(produced, room);
        }
    }
    // Room asked beyond the decoder's buffer is cut to the buffer.
    FolderDecoder decoder;
    uint32_t produced = 0;
    ASSERT_EQ(decoder.Decode(matchBlock, &produced, kRingSize * 2), DECODER_OK);
    EXPECT_EQ(produced, kRingSize);
}

}  // namespace
