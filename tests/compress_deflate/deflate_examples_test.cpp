// How particular inputs are coded: runs, incompressible blocks at the output
// limit, matches into the previous block, and the distance rules.
#include "deflate_test_util.h"

namespace deflatetest {
namespace {

std::vector<Token> AllTokens(const ParsedStream& p) {
    std::vector<Token> all;
    for (const ParsedBlock& b : p.blocks) all.insert(all.end(), b.tokens.begin(), b.tokens.end());
    return all;
}

TEST(DeflateExamples, RunOfOneValueIsOneLiteralThenLongestMatches) {
    for (uint8_t value : {0x00, 0x41, 0xFF}) {
        std::vector<uint8_t> in(kBlock, value);
        Compressor c;
        std::vector<uint8_t> out = c.Compress(in);
        EXPECT_LT(out.size(), 100u);
        std::vector<Token> tokens = AllTokens(CheckBlock(in, out, {}));
        ASSERT_EQ(tokens.size(), 129u);
        EXPECT_EQ(tokens.front().length, 0u);
        EXPECT_EQ(tokens.back().length, 0u);
        for (size_t i = 1; i + 1 < tokens.size(); ++i) {
            EXPECT_EQ(tokens[i].length, 258u) << i;
            EXPECT_EQ(tokens[i].distance, 1u) << i;
        }
    }
}

TEST(DeflateExamples, MatchlessFullBlockIsTwoStoredBlocksAtTheLimit) {
    std::vector<uint8_t> in = TrigramUniqueBytes(kBlock, 99);
    Compressor c;
    std::vector<uint8_t> out = c.Compress(in);
    ASSERT_EQ(out.size(), 32780u);
    ParsedStream p = CheckBlock(in, out, {});
    ASSERT_EQ(p.blocks.size(), 2u);
    EXPECT_EQ(p.blocks[0].type, 0u);
    EXPECT_FALSE(p.blocks[0].final);
    EXPECT_EQ(p.blocks[0].storedLength, 32767u);
    EXPECT_EQ(p.blocks[1].type, 0u);
    EXPECT_TRUE(p.blocks[1].final);
    EXPECT_EQ(p.blocks[1].storedLength, 1u);

    // The same again with history in force: still no match, still the limit.
    std::vector<uint8_t> both = TrigramUniqueBytes(2 * kBlock, 100);
    std::vector<uint8_t> prev = Slice(both, 0, kBlock);
    std::vector<uint8_t> next = Slice(both, kBlock, kBlock);
    Compressor d;
    d.Compress(prev);
    EXPECT_EQ(d.Compress(next).size(), 32780u);
}

TEST(DeflateExamples, RepeatOfPreviousBlockTailMatchesAtItsDistance) {
    std::vector<uint8_t> first = testsupport::RandomBytes(kBlock, 3);
    std::vector<uint8_t> second = Concat(Slice(first, kBlock - 1000, 1000), testsupport::RandomBytes(kBlock - 1000, 4));
    Compressor c;
    c.Compress(first);
    std::vector<Token> tokens = AllTokens(CheckBlock(second, c.Compress(second), first));
    uint32_t covered = 0;
    for (const Token& t : tokens) {
        if (covered >= 1000) break;
        EXPECT_EQ(t.distance, 1000u) << "at byte " << covered;
        covered += t.length ? t.length : 1;
    }
    EXPECT_EQ(covered, 1000u);
}

TEST(DeflateExamples, ContentExactlyOneBlockBackIsNotMatched) {
    // 32768 back is beyond the 32506 reach; the block is matchless otherwise.
    std::vector<uint8_t> block = TrigramUniqueBytes(kBlock, 7);
    Compressor c;
    c.Compress(block);
    std::vector<uint8_t> out = c.Compress(block);
    ParsedStream p = CheckBlock(block, out, block);
    EXPECT_TRUE(AllTokens(p).empty()) << "only stored blocks expected";
    EXPECT_EQ(out.size(), 32780u);
}

TEST(DeflateExamples, FarThreeByteMatchIsDroppedButFourByteMatchIsKept) {
    // Filler without repeated trigrams from bytes 0..199; markers from 200 up.
    auto build = [](std::vector<uint8_t> marker, uint32_t gap) {
        std::vector<uint8_t> filler = TrigramUniqueBytes(gap + 600, 55, 0, 199);
        std::vector<uint8_t> in = marker;
        in.insert(in.end(), filler.begin(), filler.begin() + gap);
        in.insert(in.end(), marker.begin(), marker.end());
        in.insert(in.end(), filler.begin() + gap, filler.end());
        return in;
    };
    auto matchesOfLength = [](const ParsedStream& p, uint32_t length) {
        int n = 0;
        for (const Token& t : AllTokens(p)) n += t.length == length;
        return n;
    };
    Compressor c;
    // Marker at distance 3 + 5000.
    ParsedStream far3 = CheckBlock(build({201, 202, 203}, 5000), c.Compress(build({201, 202, 203}, 5000)), {});
    EXPECT_EQ(matchesOfLength(far3, 3), 0);
    c.Reset();
    ParsedStream far4 = CheckBlock(build({201, 202, 203, 204}, 5000), c.Compress(build({201, 202, 203, 204}, 5000)), {});
    EXPECT_EQ(matchesOfLength(far4, 4), 1);
    c.Reset();
    ParsedStream near3 = CheckBlock(build({201, 202, 203}, 4000), c.Compress(build({201, 202, 203}, 4000)), {});
    EXPECT_EQ(matchesOfLength(near3, 3), 1);
}

}  // namespace
}  // namespace deflatetest
