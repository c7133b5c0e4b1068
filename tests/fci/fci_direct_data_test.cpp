#include "fci_fixture.h"

namespace treepak {

using testsupport::RandomBytes;

namespace {

uint32_t g_expected = 0;
uint32_t ExpectedOffset(const CabParams*, void*) { return g_expected; }

}  // namespace

// Whether the expectation is right (88 = header 36, two folders, two
// 18-byte entries), too small, too large or absent, and whether the set
// spans or not, the cabinets and the progress reports come out the same.
TEST_F(FciTest, DataAreaWrittenInPlaceGivesTheSameCabinets) {
    for (uint32_t maxSize : {0u, 40000u}) {
        std::vector<std::vector<uint8_t>> reference;
        std::vector<uint32_t> referenceReports;
        for (uint32_t expected : {0u, 88u, 87u, 89u, 40000u}) {
            SCOPED_TRACE(std::to_string(maxSize) + " " + std::to_string(expected));
            g_expected = expected;
            client.status.clear();
            CabParams p = Params();
            p.maxCabinetSize = maxSize;
            ASSERT_TRUE(Create(p));
            ASSERT_EQ(FCISetDataAreaOffset(context, expected != 0 ? ExpectedOffset : nullptr), 1);
            ASSERT_EQ(Add("a", RandomBytes(30000, 1)), 1);
            ASSERT_EQ(fcitest::FlushFolder(context), 1);
            ASSERT_EQ(Add("b", RandomBytes(30000, 2)), 1);
            // Too late once a file is in.
            EXPECT_EQ(FCISetDataAreaOffset(context, nullptr), 0);
            ASSERT_EQ(fcitest::FlushCabinet(context), 1);
            ASSERT_EQ(Destroy(), 1);
            std::vector<uint32_t> reports;
            for (const auto& r : client.status) reports.insert(reports.end(), {r.kind, r.size1, r.size2});
            const std::vector<std::string> names =
                maxSize != 0 ? std::vector<std::string>{"out.cab", "cab2.cab"} : std::vector<std::string>{"out.cab"};
            ParseSet(names);
            std::vector<std::vector<uint8_t>> cabinets;
            for (const std::string& name : names) cabinets.push_back(Bytes(name));
            if (expected == 0) {
                reference = cabinets;
                referenceReports = reports;
            }
            EXPECT_TRUE(cabinets == reference);
            EXPECT_EQ(reports, referenceReports);
        }
    }
}

// A build that fails after the cabinet file was opened early leaves no
// cabinet behind (the fixture checks handles and temporary files).
TEST_F(FciTest, FailureWithTheDataAreaInPlaceRemovesTheCabinet) {
    g_expected = 70;
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(FCISetDataAreaOffset(context, ExpectedOffset), 1);
    ASSERT_EQ(Add("a", RandomBytes(40000, 3)), 1);
    ASSERT_EQ(fcitest::FlushFolder(context), 1);
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "out.cab"));
    ASSERT_EQ(Add("b", RandomBytes(40000, 4)), 1);
    client.failAt[fcitest::OP_WRITE] = client.calls[fcitest::OP_WRITE] + 1;
    EXPECT_EQ(fcitest::FlushFolder(context), 0);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "out.cab"));
}

}  // namespace treepak
