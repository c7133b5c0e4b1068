// The four cabinet records as plain structs, with byte-exact encoding and
// decoding of their fixed parts (names and reserve areas are handled by the
// engines, which know the sizes in force).
#pragma once

#include <cstdint>

#include "cabinet/format.h"

namespace treepak {

struct CFHEADER {
    uint8_t signature[4];
    uint32_t reserved1;
    uint32_t cabinetSize;
    uint32_t reserved2;
    uint32_t firstFileOffset;
    uint32_t reserved3;
    uint8_t versionMinor;
    uint8_t versionMajor;
    uint16_t folderCount;
    uint16_t fileCount;
    uint16_t flags;
    uint16_t setId;
    uint16_t cabinetIndex;
};

struct CFFOLDER {
    uint32_t firstDataOffset;
    uint16_t dataBlockCount;
    uint16_t compressionType;
};

struct CFFILE {
    uint32_t fileSize;
    uint32_t folderOffset;
    uint16_t folderIndex;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
};

struct CFDATA {
    uint32_t checksum;
    uint16_t compressedSize;
    uint16_t uncompressedSize;
};

// Encode writes exactly the record's fixed size; Decode reads it.
void EncodeHeader(const CFHEADER& h, uint8_t out[CFHEADER_SIZE]);
void DecodeHeader(const uint8_t in[CFHEADER_SIZE], CFHEADER* h);
void EncodeFolder(const CFFOLDER& f, uint8_t out[CFFOLDER_SIZE]);
void DecodeFolder(const uint8_t in[CFFOLDER_SIZE], CFFOLDER* f);
void EncodeFile(const CFFILE& f, uint8_t out[CFFILE_SIZE]);
void DecodeFile(const uint8_t in[CFFILE_SIZE], CFFILE* f);
void EncodeData(const CFDATA& d, uint8_t out[CFDATA_SIZE]);
void DecodeData(const uint8_t in[CFDATA_SIZE], CFDATA* d);

}  // namespace treepak
