// Cabinet layout as the writer produces it: header, names, reserve areas,
// entries and checksums.
#include "fci_fixture.h"

using testsupport::ParsedCabinet;

TEST_F(FciTest, CabinetWithoutFilesIsTheBareHeader) {
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_EQ(Bytes("out.cab").size(), 36u);
    ParsedCabinet cab = Parse("out.cab");
    EXPECT_EQ(cab.folderCount, 0);
    EXPECT_EQ(cab.fileCount, 0);
    EXPECT_EQ(cab.firstFileOffset, 36u);
    EXPECT_EQ(cab.flags, 0);
    EXPECT_EQ(cab.setId, 0x1234);
    EXPECT_EQ(cab.cabinetIndex, 0);
    // One cabinet report: no estimate was ever asked for, actual size 36.
    auto reports = Reports(FCI_STATUS_CABINET);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size1, 0u);
    EXPECT_EQ(reports[0].size2, 36u);
}

TEST_F(FciTest, StoredFileEntryAndChecksum) {
    client.meta[scratch.str() + "/src/abc"] = {0x1234, 0x5678, FILE_ATTR_READONLY | FILE_ATTR_HIDDEN};
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(Add("abc", {'a', 'b', 'c'}, COMPRESS_NONE, 1), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(Destroy(), 1);

    ParsedCabinet cab = ParseSet({"out.cab"})[0];
    ASSERT_EQ(cab.folders.size(), 1u);
    ASSERT_EQ(cab.folders[0].blocks.size(), 1u);
    EXPECT_EQ(cab.folders[0].compressionType, COMPRESS_NONE);
    EXPECT_EQ(cab.folders[0].blocks[0].checksum, 0x00626260u);
    ASSERT_EQ(cab.files.size(), 1u);
    const auto& f = cab.files[0];
    EXPECT_EQ(f.name, "abc");
    EXPECT_EQ(f.fileSize, 3u);
    EXPECT_EQ(f.folderOffset, 0u);
    EXPECT_EQ(f.folderIndex, 0);
    EXPECT_EQ(f.date, 0x1234);
    EXPECT_EQ(f.time, 0x5678);
    EXPECT_EQ(f.attributes, FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_EXECUTE);
    EXPECT_EQ(cab.cabinetSize, 36u + 8 + 16 + 4 + 8 + 3);
    // The client is told of the file once, not as a continuation.
    ASSERT_EQ(client.placed.size(), 1u);
    EXPECT_EQ(client.placed[0].name, "abc");
    EXPECT_EQ(client.placed[0].continuation, 0);
}

TEST_F(FciTest, ReserveAreas) {
    struct Case {
        uint32_t header, folder, data;
    };
    for (Case c : {Case{0, 0, 5}, Case{300, 7, 9}, Case{65535, 255, 255}}) {
        SCOPED_TRACE(testing::Message() << c.header << "/" << c.folder << "/" << c.data);
        CabParams p = Params("r.cab");
        p.headerReserveSize = c.header;
        p.folderReserveSize = c.folder;
        p.dataReserveSize = c.data;
        ASSERT_TRUE(Create(p));
        ASSERT_EQ(Add("x", testsupport::TextBytes(50000, 1)), 1);
        ASSERT_EQ(fcitest::FlushCabinet(context), 1);
        EXPECT_EQ(Destroy(), 1);
        ParsedCabinet cab = ParseSet({"r.cab"})[0];
        EXPECT_EQ(cab.flags, CAB_FLAG_RESERVE_PRESENT);
        EXPECT_EQ(cab.headerReserveSize, c.header);
        EXPECT_EQ(cab.folderReserveSize, c.folder);
        EXPECT_EQ(cab.dataReserveSize, c.data);
        EXPECT_EQ(cab.headerSize, 40u + c.header);
        EXPECT_EQ(cab.folders[0].blocks.size(), 2u);
        sources.clear();
    }
}

TEST_F(FciTest, ReserveSizesThatDoNotFitTheirFieldsAreRefused) {
    for (int field = 0; field < 3; ++field) {
        CabParams p = Params();
        if (field == 0) p.headerReserveSize = 65536;
        if (field == 1) p.folderReserveSize = 256;
        if (field == 2) p.dataReserveSize = 256;
        EXPECT_FALSE(Create(p));
        EXPECT_EQ(errors.errorCode, FCIERR_CABINET_FILE);
        EXPECT_EQ(errors.errorFlag, 1);
    }
}

TEST_F(FciTest, NamesLongerThan255BytesAreRefused) {
    ASSERT_TRUE(Create(Params()));
    EXPECT_EQ(fcitest::AddFile(context, &client, Source("a", {1}), std::string(256, 'n'),
                               COMPRESS_NONE),
              0);
    EXPECT_EQ(errors.errorCode, FCIERR_TEMP_FILE);
    EXPECT_EQ(Destroy(), 1);
    // 255 bytes are fine.
    ASSERT_TRUE(Create(Params()));
    const std::string name(255, 'n');
    EXPECT_EQ(fcitest::AddFile(context, &client, Source("a", {1}), name, COMPRESS_NONE), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_EQ(Parse("out.cab").files.at(0).name, name);
}

TEST_F(FciTest, MoreThan65535FilesInOneCabinetAreRefused) {
    const std::string empty = Source("empty", {});
    ASSERT_TRUE(Create(Params()));
    for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(fcitest::AddFile(context, &client, empty, "e" + std::to_string(i), COMPRESS_NONE), 1);
    EXPECT_EQ(fcitest::FlushCabinet(context), 0);
    EXPECT_EQ(errors.errorCode, FCIERR_CABINET_FILE);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "out.cab"));
}

TEST_F(FciTest, GoldenStoredSet) {
    // The whole byte layout of a small set with reserves and names, pinned.
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
