// How particular inputs are coded: a run of one value, a block without any
// match at the output limit, content one block back, and the rule for far
// 3-byte matches.
#include "deflate_test_util.h"

namespace deflatetest {
namespace {

std::vector<Token> AllTokens(const ParsedStream& p) {
    std::vector<Token> all;
    for (const ParsedBlock& b : p.blocks) all.insert(all.end(), b.tokens.begin(), b.tokens.end());
    return all;
}

TEST(DeflateExamples, RunOfOneValueIsALiteralThenLongestMatches) {
    std::vector<uint8_t> in(kBlock, 0x41);
    Compressor c;
    std::vector<uint8_t> out = c.Compress(in);
    EXPECT_LT(out.size(), 100u);
    std::vector<Token> tokens = AllTokens(CheckBlock(in, out, {}));
    ASSERT_EQ(tokens.size(), 129u);  // 1 + 127 * 258 + 1 bytes
    EXPECT_EQ(tokens.front().length, 0u);
    EXPECT_EQ(tokens.back().length, 0u);
    for (size_t i = 1; i + 1 < tokens.size(); ++i) {
        EXPECT_TRUE(tokens[i].length == 258 && tokens[i].distance == 1) << i;
    }
}

TEST(DeflateExamples, MatchlessFullBlockIsTwoStoredBlocksAtTheLimit) {
    // Fresh, and with a previous block it shares no three bytes with.
    const std::vector<uint8_t> both = TrigramUniqueBytes(2 * kBlock, 99);
    Compressor c;
    for (size_t i = 0; i < 2; ++i) {
        std::vector<uint8_t> in = Slice(both, i * kBlock, kBlock);
        std::vector<uint8_t> out = c.Compress(in);
        ASSERT_EQ(out.size(), 32780u);
        ParsedStream p = CheckBlock(in, out, i ? Slice(both, 0, kBlock) : std::vector<uint8_t>{});
        ASSERT_EQ(p.blocks.size(), 2u);
        EXPECT_TRUE(p.blocks[0].type == 0 && !p.blocks[0].final && p.blocks[0].storedLength == 32767);
        EXPECT_TRUE(p.blocks[1].type == 0 && p.blocks[1].final && p.blocks[1].storedLength == 1);
    }
    // Content exactly one block back lies beyond the reach of a match.
    std::vector<uint8_t> again = Slice(both, kBlock, kBlock);
    std::vector<uint8_t> out = c.Compress(again);
    EXPECT_EQ(out.size(), 32780u);
    EXPECT_TRUE(AllTokens(CheckBlock(again, out, again)).empty());
}

TEST(DeflateExamples, RepeatOfPreviousTailIsCodedAtItsDistance) {
    std::vector<uint8_t> first = RandomOf(kBlock, 3);
    std::vector<uint8_t> second = Slice(first, kBlock - 1000, 1000);
    std::vector<uint8_t> rest = RandomOf(kBlock - 1000, 4);
    second.insert(second.end(), rest.begin(), rest.end());
    Compressor c;
    c.Compress(first);
    uint32_t covered = 0;
    for (const Token& t : AllTokens(CheckBlock(second, c.Compress(second), first))) {
        if (covered >= 1000) break;
        EXPECT_EQ(t.distance, 1000u) << "at byte " << covered;
        covered += t.length ? t.length : 1;
    }
    EXPECT_EQ(covered, 1000u);
}

TEST(DeflateExamples, FarThreeByteMatchIsDroppedButFourByteMatchIsKept) {
    // marker, filler without repeated trigrams (bytes below 200), marker again
    auto count = [](std::vector<uint8_t> marker, uint32_t gap, uint32_t length) {
        std::vector<uint8_t> filler = TrigramUniqueBytes(gap + 600, 55, 0, 199);
        std::vector<uint8_t> in = marker;
        in.insert(in.end(), filler.begin(), filler.begin() + gap);
        in.insert(in.end(), marker.begin(), marker.end());
        in.insert(in.end(), filler.begin() + gap, filler.end());
        Compressor c;
        int n = 0;
        for (const Token& t : AllTokens(CheckBlock(in, c.Compress(in), {}))) n += t.length == length;
        return n;
    };
    EXPECT_EQ(count({201, 202, 203}, 5000, 3), 0);
    EXPECT_EQ(count({201, 202, 203, 204}, 5000, 4), 1);
    EXPECT_EQ(count({201, 202, 203}, 4000, 3), 1);
}

}  // namespace
}  // namespace deflatetest
