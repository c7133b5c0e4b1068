#include "cab_parser.h"

#include <cstring>
#include <zlib.h>

#include "cabinet/checksum.h"

namespace {

constexpr uint32_t kBlockSize = 32768;
constexpr uint32_t kDeflateMagicSize = 2;

bool Fail(std::string* reason, const std::string& text) {
    *reason = text;
    return false;
}

bool ReadString(const std::vector<uint8_t>& bytes, size_t* offset, std::string* out) {
    size_t end = *offset;
    while (end < bytes.size() && bytes[end] != 0) ++end;
    if (end >= bytes.size()) return false;
    out->assign(reinterpret_cast<const char*>(bytes.data() + *offset), end - *offset);
    *offset = end + 1;
    return true;
}

// One block-deflate block: "CK", then raw deflate data whose history is the
// folder's previous output (at most 32768 bytes).
bool InflateBlock(const uint8_t* data, uint32_t size, uint32_t expected, std::vector<uint8_t>* out) {
    if (size < kDeflateMagicSize || data[0] != 'C' || data[1] != 'K') return false;
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    size_t history = out->size() < kBlockSize ? out->size() : kBlockSize;
    if (history > 0) inflateSetDictionary(&z, out->data() + out->size() - history, static_cast<uInt>(history));
    std::vector<uint8_t> block(expected + 1);
    z.next_in = const_cast<uint8_t*>(data + kDeflateMagicSize);
    z.avail_in = size - kDeflateMagicSize;
    z.next_out = block.data();
    z.avail_out = static_cast<uInt>(block.size());
    int rc = inflate(&z, Z_FINISH);
    bool ok = rc == Z_STREAM_END && z.total_out == expected && z.avail_in == 0;
    inflateEnd(&z);
    if (ok) out->insert(out->end(), block.begin(), block.begin() + expected);
    return ok;
}

}  // namespace

bool ParseCabinet(const std::vector<uint8_t>& bytes, ParsedCabinet* cab, std::string* reason) {
    *cab = ParsedCabinet{};
    if (bytes.size() < CFHEADER_SIZE) return Fail(reason, "shorter than a header");
    DecodeHeader(bytes.data(), &cab->header);
    const CFHEADER& h = cab->header;
    if (std::memcmp(h.signature, CAB_SIGNATURE, 4) != 0) return Fail(reason, "bad signature");
    if (h.cabinetSize != bytes.size()) return Fail(reason, "cabinetSize differs from the file size");
    if (h.versionMajor != 1 || h.versionMinor != 3) return Fail(reason, "bad version");
    if (h.flags & ~(CAB_FLAG_PREV_CABINET | CAB_FLAG_NEXT_CABINET)) return Fail(reason, "unexpected flags");
    size_t offset = CFHEADER_SIZE;
    std::string ignored;
    if (h.flags & CAB_FLAG_PREV_CABINET) {
        if (!ReadString(bytes, &offset, &ignored) || !ReadString(bytes, &offset, &ignored)) {
            return Fail(reason, "bad previous names");
        }
    }
    if (h.flags & CAB_FLAG_NEXT_CABINET) {
        if (!ReadString(bytes, &offset, &cab->nextCabinetName) || !ReadString(bytes, &offset, &ignored)) {
            return Fail(reason, "bad next names");
        }
    }
    for (uint32_t i = 0; i < h.folderCount; ++i) {
        if (offset + CFFOLDER_SIZE > bytes.size()) return Fail(reason, "folder table runs past the end");
        ParsedFolder folder;
        DecodeFolder(bytes.data() + offset, &folder.entry);
        offset += CFFOLDER_SIZE;
        cab->folders.push_back(folder);
    }
    if (h.firstFileOffset != offset) return Fail(reason, "firstFileOffset is not after the folder table");
    for (uint32_t i = 0; i < h.fileCount; ++i) {
        if (offset + CFFILE_SIZE > bytes.size()) return Fail(reason, "file table runs past the end");
        ParsedFile file;
        DecodeFile(bytes.data() + offset, &file.entry);
        offset += CFFILE_SIZE;
        if (!ReadString(bytes, &offset, &file.name)) return Fail(reason, "unterminated file name");
        cab->files.push_back(file);
    }
    for (ParsedFolder& folder : cab->folders) {
        if (folder.entry.firstDataOffset != offset) return Fail(reason, "folder data not contiguous");
        for (uint32_t b = 0; b < folder.entry.dataBlockCount; ++b) {
            if (offset + CFDATA_SIZE > bytes.size()) return Fail(reason, "data block header past the end");
            CFDATA data;
            DecodeData(bytes.data() + offset, &data);
            const uint8_t* payload = bytes.data() + offset + CFDATA_SIZE;
            if (offset + CFDATA_SIZE + data.compressedSize > bytes.size()) return Fail(reason, "block past the end");
            if (CabDataChecksum(bytes.data() + offset, 0, payload, data.compressedSize) != data.checksum) {
                return Fail(reason, "bad block checksum");
            }
            bool last = b + 1 == folder.entry.dataBlockCount;
            if (data.uncompressedSize == 0 || data.uncompressedSize > kBlockSize ||
                (!last && data.uncompressedSize != kBlockSize)) {
                return Fail(reason, "bad uncompressed block size");
            }
            switch (folder.entry.compressionType) {
                case COMPRESS_NONE:
                    if (data.compressedSize != data.uncompressedSize) return Fail(reason, "stored size mismatch");
                    folder.content.insert(folder.content.end(), payload, payload + data.compressedSize);
                    break;
                case COMPRESS_DEFLATE:
                    if (data.compressedSize > MAX_DEFLATE_BLOCK) return Fail(reason, "deflate block too large");
                    if (!InflateBlock(payload, data.compressedSize, data.uncompressedSize, &folder.content)) {
                        return Fail(reason, "deflate block does not inflate");
                    }
                    break;
                default:
                    return Fail(reason, "unexpected compression type");
            }
            offset += CFDATA_SIZE + data.compressedSize;
        }
    }
    if (offset != bytes.size()) return Fail(reason, "bytes after the last data block");
    for (const ParsedFile& file : cab->files) {
        if (file.entry.folderIndex >= cab->folders.size()) return Fail(reason, "file in a missing folder");
        const auto& content = cab->folders[file.entry.folderIndex].content;
        if (uint64_t{file.entry.folderOffset} + file.entry.fileSize > content.size()) {
            return Fail(reason, "file runs past its folder");
        }
    }
    return true;
}

std::vector<uint8_t> FileContent(const ParsedCabinet& cab, const ParsedFile& file) {
    const auto& content = cab.folders.at(file.entry.folderIndex).content;
    auto begin = content.begin() + file.entry.folderOffset;
    return std::vector<uint8_t>(begin, begin + file.entry.fileSize);
}
