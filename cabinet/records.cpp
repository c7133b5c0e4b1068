#include "cabinet/records.h"

#include <cstring>

#include "cabinet/bytes.h"

namespace treepak {

using cab::LoadLe16;
using cab::LoadLe32;
using cab::StoreLe16;
using cab::StoreLe32;

void EncodeHeader(const CFHEADER& h, uint8_t out[CFHEADER_SIZE]) {
    std::memcpy(out, h.signature, 4);
    StoreLe32(out + 4, h.reserved1);
    StoreLe32(out + 8, h.cabinetSize);
    StoreLe32(out + 12, h.reserved2);
    StoreLe32(out + 16, h.firstFileOffset);
    StoreLe32(out + 20, h.reserved3);
    out[24] = h.versionMinor;
    out[25] = h.versionMajor;
    StoreLe16(out + 26, h.folderCount);
    StoreLe16(out + 28, h.fileCount);
    StoreLe16(out + 30, h.flags);
    StoreLe16(out + 32, h.setId);
    StoreLe16(out + 34, h.cabinetIndex);
}

void DecodeHeader(const uint8_t in[CFHEADER_SIZE], CFHEADER* h) {
    std::memcpy(h->signature, in, 4);
    h->reserved1 = LoadLe32(in + 4);
    h->cabinetSize = LoadLe32(in + 8);
    h->reserved2 = LoadLe32(in + 12);
    h->firstFileOffset = LoadLe32(in + 16);
    h->reserved3 = LoadLe32(in + 20);
    h->versionMinor = in[24];
    h->versionMajor = in[25];
    h->folderCount = LoadLe16(in + 26);
    h->fileCount = LoadLe16(in + 28);
    h->flags = LoadLe16(in + 30);
    h->setId = LoadLe16(in + 32);
    h->cabinetIndex = LoadLe16(in + 34);
}

void EncodeFolder(const CFFOLDER& f, uint8_t out[CFFOLDER_SIZE]) {
    StoreLe32(out, f.firstDataOffset);
    StoreLe16(out + 4, f.dataBlockCount);
    StoreLe16(out + 6, f.compressionType);
}

void DecodeFolder(const uint8_t in[CFFOLDER_SIZE], CFFOLDER* f) {
    f->firstDataOffset = LoadLe32(in);
    f->dataBlockCount = LoadLe16(in + 4);
    f->compressionType = LoadLe16(in + 6);
}

void EncodeFile(const CFFILE& f, uint8_t out[CFFILE_SIZE]) {
    StoreLe32(out, f.fileSize);
    StoreLe32(out + 4, f.folderOffset);
    StoreLe16(out + 8, f.folderIndex);
    StoreLe16(out + 10, f.date);
    StoreLe16(out + 12, f.time);
    StoreLe16(out + 14, f.attributes);
}

void DecodeFile(const uint8_t in[CFFILE_SIZE], CFFILE* f) {
    f->fileSize = LoadLe32(in);
    f->folderOffset = LoadLe32(in + 4);
    f->folderIndex = LoadLe16(in + 8);
    f->date = LoadLe16(in + 10);
    f->time = LoadLe16(in + 12);
    f->attributes = LoadLe16(in + 14);
}

void EncodeData(const CFDATA& d, uint8_t out[CFDATA_SIZE]) {
    StoreLe32(out, d.checksum);
    StoreLe16(out + 4, d.compressedSize);
    StoreLe16(out + 6, d.uncompressedSize);
}

void DecodeData(const uint8_t in[CFDATA_SIZE], CFDATA* d) {
    d->checksum = LoadLe32(in);
    d->compressedSize = LoadLe16(in + 4);
    d->uncompressedSize = LoadLe16(in + 6);
}

}  // namespace treepak
