// Golden vectors: the compressor's output is fixed bit for bit, so hashes of
// its output over fixed inputs catch any change, e.g. from speed work.
#include "deflate_test_util.h"

namespace deflatetest {
namespace {

using testsupport::HashHex;

struct Golden {
    const char* name;
    std::vector<std::vector<uint8_t>> blocks;  // one folder; an empty block means a reset
    const char* hash;                          // of all outputs, concatenated
};

std::vector<uint8_t> FolderOutput(const std::vector<std::vector<uint8_t>>& blocks) {
    Compressor c;
    std::vector<uint8_t> all;
    for (const auto& block : blocks) {
        if (block.empty()) {
            c.Reset();
            continue;
        }
        std::vector<uint8_t> out = c.Compress(block);
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

std::vector<uint8_t> Sawtooth(size_t count) {
    std::vector<uint8_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<uint8_t>((i * i) >> 5);
    return v;
}

TEST(DeflateGolden, OutputsArePinned) {
    using testsupport::RandomBytes;
    using testsupport::TextBytes;
    const std::vector<uint8_t> text = TextBytes(4 * kBlock, 1);
    const Golden goldens[] = {
        {"text block", {TextBytes(kBlock, 1)}, "f9ee3ef0a6c4deea"},
        {"random block", {RandomBytes(kBlock, 2)}, "4b8b459d3746d810"},
        {"one value", {std::vector<uint8_t>(kBlock, 'z')}, "8dc62f7977d188ee"},
        {"sawtooth", {Sawtooth(kBlock)}, "05ddcd92742196ce"},
        {"short pieces", {TextBytes(1, 3), {}, TextBytes(2, 3), {}, TextBytes(3, 3), {}, TextBytes(777, 3)}, "d2c4bed0229a4584"},
        {"text folder with history",
         {Slice(text, 0, kBlock), Slice(text, kBlock, kBlock), Slice(text, 2 * kBlock, kBlock),
          Slice(text, 3 * kBlock, 5000)},
         "71321c831dcd432e"},
        {"mixed folder with reset",
         {Concat(RandomBytes(10000, 4), TextBytes(kBlock - 10000, 5)), Sawtooth(kBlock), {},
          Concat(Sawtooth(20000), RandomBytes(kBlock - 20000, 6)), TrigramUniqueBytes(kBlock, 8)},
         "0881903362659345"},
    };
    for (const Golden& g : goldens) {
        EXPECT_EQ(HashHex(FolderOutput(g.blocks)), g.hash) << g.name;
    }
}

}  // namespace
}  // namespace deflatetest
