#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/format.h"
#include "cabinet/records.h"

TEST(CabinetRecords, HeaderRoundTripsLittleEndianWithoutPadding) {
    CFHEADER h{};
    std::memcpy(h.signature, CAB_SIGNATURE, 4);
    h.cabinetSize = 0x11223344;
    h.firstFileOffset = 36;
    h.versionMinor = 3;
    h.versionMajor = 1;
    h.folderCount = 0x0102;
    h.fileCount = 0x0304;
    h.flags = CAB_FLAG_NEXT_CABINET;
    h.setId = 0xBEEF;
    h.cabinetIndex = 7;
    uint8_t bytes[CFHEADER_SIZE];
    EncodeHeader(h, bytes);
    const uint8_t expected[CFHEADER_SIZE] = {0x4D, 0x53, 0x43, 0x46, 0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11,
                                             0, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0,
                                             3, 1, 0x02, 0x01, 0x04, 0x03, 0x02, 0x00, 0xEF, 0xBE, 7, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, CFHEADER_SIZE));
    CFHEADER back{};
    DecodeHeader(bytes, &back);
    EXPECT_EQ(back.cabinetSize, h.cabinetSize);
    EXPECT_EQ(back.setId, h.setId);
    EXPECT_EQ(back.cabinetIndex, h.cabinetIndex);
}

TEST(CabinetRecords, FileFolderAndDataFieldOffsets) {
    CFFILE f{0x01020304, 0x0A0B0C0D, FOLDER_CONTINUED_TO_NEXT, 0x5678, 0x9ABC, 0x21};
    uint8_t fb[CFFILE_SIZE];
    EncodeFile(f, fb);
    EXPECT_EQ(fb[0], 0x04);
    EXPECT_EQ(fb[4], 0x0D);
    EXPECT_EQ(fb[8], 0xFE);
    EXPECT_EQ(fb[9], 0xFF);
    EXPECT_EQ(fb[14], 0x21);
    CFFILE fback{};
    DecodeFile(fb, &fback);
    EXPECT_EQ(fback.folderOffset, f.folderOffset);
    EXPECT_EQ(fback.time, f.time);

    CFFOLDER d{0x100, 3, MakeLzxType(21)};
    uint8_t db[CFFOLDER_SIZE];
    EncodeFolder(d, db);
    EXPECT_EQ(db[6], 0x03);
    EXPECT_EQ(db[7], 0x15);

    CFDATA data{0xCAFEBABE, 32780, 32768};
    uint8_t bb[CFDATA_SIZE];
    EncodeData(data, bb);
    CFDATA dback{};
    DecodeData(bb, &dback);
    EXPECT_EQ(dback.checksum, 0xCAFEBABEu);
    EXPECT_EQ(dback.compressedSize, 32780);
    EXPECT_EQ(dback.uncompressedSize, 32768);
}
