#include "cabinet/lzx_format.h"
#include "fci_fixture.h"
#include "lzx_harness.h"

namespace treepak {

using testsupport::ParsedCabinet;
using testsupport::RandomBytes;
using testsupport::TextBytes;

namespace {

std::string DecodeLzx(const testsupport::JoinedFolder& folder, std::vector<uint8_t>* stream) {
    lzxtest::Frames frames;
    for (const auto& b : folder.blocks)
        if (b.uncompressedSize != 0) frames.push_back({b.data, b.uncompressedSize});
    lzxtest::DecodeResult result = lzxtest::DecodeFrames(frames, 1u << CompressWindowBits(folder.compressionType));
    *stream = std::move(result.output);
    return result.status == 0 ? "" : "block " + std::to_string(result.failedFrame) + " does not decode";
}

class FciCodecTest : public FciTest {
protected:
    std::vector<ParsedCabinet> CheckSet(const std::vector<std::string>& names) {
        std::vector<ParsedCabinet> set;
        for (const std::string& n : names) set.push_back(Parse(n));
        std::vector<testsupport::JoinedFolder> folders;
        EXPECT_EQ(testsupport::JoinSet(set, &folders), "");
        std::vector<std::vector<uint8_t>> streams(folders.size());
        for (size_t i = 0; i < folders.size(); ++i) {
            const bool lzx = CompressKind(folders[i].compressionType) == COMPRESS_LZX;
            EXPECT_EQ(lzx ? DecodeLzx(folders[i], &streams[i])
                          : testsupport::DecodeFolder(folders[i], &streams[i]),
                      "")
                << "folder " << i;
        }
        // Files were added in order into consecutive folders.
        std::vector<uint8_t> all, expected;
        for (const auto& s : streams) all.insert(all.end(), s.begin(), s.end());
        for (const std::string& name : order) expected.insert(expected.end(), sources[name].begin(), sources[name].end());
        EXPECT_TRUE(all == expected);
        return set;
    }
    int AddInOrder(const std::string& name, const std::vector<uint8_t>& bytes, uint16_t type) {
        order.push_back(name);
        return Add(name, bytes, type);
    }
    std::vector<std::string> order;
};

}  // namespace

// LZX at every window, across a spanning set with reserve areas: each
// window's history limit must hold through folder and cabinet breaks.
TEST_F(FciCodecTest, LzxEveryWindowAcrossASet) {
    for (uint32_t bits = LZX_MIN_WINDOW_BITS; bits <= LZX_MAX_WINDOW_BITS; ++bits) {
        SCOPED_TRACE(testing::Message() << "window bits " << bits);
        order.clear();
        sources.clear();
        client.nexts.clear();
        CabParams p = Params();
        p.maxCabinetSize = 30000;
        p.dataReserveSize = bits % 2 ? 8 : 0;
        ASSERT_TRUE(Create(p));
        const uint16_t type = MakeLzxType(bits);
        ASSERT_EQ(AddInOrder("t", TextBytes(90000, bits), type), 1);
        ASSERT_EQ(AddInOrder("r", RandomBytes(40000, bits), type), 1);
        ASSERT_EQ(fcitest::FlushFolder(context), 1);
        ASSERT_EQ(AddInOrder("s", TextBytes(7, bits), type), 1);
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        ASSERT_EQ(Destroy(), 1);
        std::vector<std::string> names{"out.cab"};
        for (size_t i = 0; i < client.nexts.size(); ++i) names.push_back("cab" + std::to_string(i + 2) + ".cab");
        EXPECT_GT(names.size(), 1u);
        CheckSet(names);
        for (const std::string& n : names) std::filesystem::remove(scratch.path() / n);
    }
}

}  // namespace treepak
