#include "fci_fixture.h"

namespace treepak {

TEST_F(FciTest, GoldenStoredSet) {
    CabParams p = Params("g.cab");
    p.maxCabinetSize = 3000;
    p.headerReserveSize = 6;
    p.folderReserveSize = 2;
    p.dataReserveSize = 1;
    p.setId = 4242;
    ASSERT_TRUE(Create(p));
    ASSERT_EQ(Add("one", testsupport::TextBytes(2000, 11)), 1);
    ASSERT_EQ(Add("two", testsupport::TextBytes(1500, 12), COMPRESS_NONE, 1), 1);
    ASSERT_EQ(fcitest::FlushFolder(context), 1);
    ASSERT_EQ(Add("three", testsupport::TextBytes(2500, 13)), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    ASSERT_EQ(Destroy(), 1);
    ParseSet({"g.cab", "cab2.cab", "cab3.cab"});
    EXPECT_EQ(testsupport::HashHex(Bytes("g.cab")), "21ecce9d74fb3be4");
    EXPECT_EQ(testsupport::HashHex(Bytes("cab2.cab")), "8321f4bc8c277a11");
    EXPECT_EQ(testsupport::HashHex(Bytes("cab3.cab")), "f267f277cd9cba27");
}

TEST_F(FciTest, ReserveSizesUpToTheirFieldsAndNoFurther) {
    struct Case {
        uint32_t header, folder, data;
        bool fits;
    };
    for (Case c : {Case{65535, 255, 255, true}, Case{65536, 0, 0, false}, Case{0, 256, 0, false},
                   Case{0, 0, 256, false}}) {
        SCOPED_TRACE(testing::Message() << c.header << "/" << c.folder << "/" << c.data);
        CabParams p = Params();
        p.headerReserveSize = c.header;
        p.folderReserveSize = c.folder;
        p.dataReserveSize = c.data;
        ASSERT_EQ(Create(p), c.fits);
        if (!c.fits) {
            EXPECT_EQ(errors.errorCode, FCIERR_CABINET_FILE);
            continue;
        }
        ASSERT_EQ(Add("x", testsupport::TextBytes(50000, 1)), 1);
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        EXPECT_EQ(Destroy(), 1);
        const testsupport::ParsedCabinet cab = ParseSet({"out.cab"})[0];
        EXPECT_EQ(cab.headerReserveSize, c.header);
        EXPECT_EQ(cab.folderReserveSize, c.folder);
        EXPECT_EQ(cab.dataReserveSize, c.data);
    }
}

TEST_F(FciTest, NamesLongerThan255BytesAreRefused) {
    ASSERT_TRUE(Create(Params()));
    const std::string source = Source("a", {1});
    EXPECT_EQ(fcitest::AddFile(context, source, std::string(256, 'n'), COMPRESS_NONE), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_TEMP_FILE);
    const std::string name(255, 'n');
    EXPECT_EQ(fcitest::AddFile(context, source, name, COMPRESS_NONE), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_EQ(Parse("out.cab").files.at(0).name, name);
}

TEST_F(FciTest, MoreThan65535FilesInOneCabinetAreRefused) {
    const std::string empty = Source("empty", {});
    ASSERT_TRUE(Create(Params()));
    for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(fcitest::AddFile(context, empty, "e" + std::to_string(i), COMPRESS_NONE), 1);
    EXPECT_EQ(fcitest::FlushCabinet(context), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_CABINET_FILE);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "out.cab"));
}

}  // namespace treepak
