#include "cab_parser.h"

#include <zlib.h>

#include <cstring>

namespace treepak {

namespace testsupport {
namespace {

constexpr uint8_t kSignature[4] = {0x4D, 0x53, 0x43, 0x46};
constexpr uint16_t kFlagPrev = 1, kFlagNext = 2, kFlagReserve = 4;
constexpr uint16_t kFromPrev = 0xFFFD, kToNext = 0xFFFE, kPrevAndNext = 0xFFFF;
constexpr uint16_t kKnownAttributes = 0x01 | 0x02 | 0x04 | 0x20 | 0x40 | 0x80;
constexpr size_t kBlock = 32768;

struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t pos = 0;
    std::string error;

    bool Need(size_t n, const char* what) {
        if (error.empty() && (pos > bytes.size() || bytes.size() - pos < n))
            error = std::string("truncated at ") + what + " (offset " + std::to_string(pos) + ")";
        return error.empty();
    }
    uint32_t Le(size_t n) {  // n little-endian bytes
        uint32_t v = 0;
        if (!Need(n, "a number")) return 0;
        for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(bytes[pos + i]) << (8 * i);
        pos += n;
        return v;
    }
    uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
    std::vector<uint8_t> Bytes(size_t n, const char* what) {
        if (!Need(n, what)) return {};
        pos += n;
        return std::vector<uint8_t>(bytes.begin() + static_cast<long>(pos - n), bytes.begin() + static_cast<long>(pos));
    }
    // A reserve area, which this writer fills with zeros.
    bool ZeroBytes(size_t n, const char* what) {
        const std::vector<uint8_t> v = Bytes(n, what);
        for (uint8_t b : v)
            if (b != 0 && error.empty()) error = std::string(what) + " not zero";
        return error.empty();
    }
    std::string String(const char* what) {
        for (size_t i = 0; error.empty() && i < 256 && pos + i < bytes.size(); ++i) {
            if (bytes[pos + i] == 0) {
                pos += i + 1;
                return std::string(reinterpret_cast<const char*>(bytes.data() + pos - i - 1), i);
            }
        }
        if (error.empty()) error = std::string("no NUL within 256 bytes in ") + what;
        return {};
    }
};

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

// Joins the folders of a set and maps each cabinet's folder index to the
// index of its joined folder.
std::string Join(const std::vector<ParsedCabinet>& set, std::vector<JoinedFolder>* folders,
                 std::vector<std::vector<size_t>>* map) {
    folders->clear();
    map->assign(set.size(), {});
    bool pending = false;  // the last joined block is an unfinished piece
    for (size_t k = 0; k < set.size(); ++k) {
        const ParsedCabinet& cab = set[k];
        bool continues = false;
        for (const ParsedFile& f : cab.files)
            if (f.folderIndex == kFromPrev || f.folderIndex == kPrevAndNext) continues = true;
        if (continues && (k == 0 || (set[k - 1].flags & kFlagNext) == 0 || (cab.flags & kFlagPrev) == 0))
            return "cabinet " + std::to_string(k) + " continues a folder without prev/next links";
        if (pending && !continues)
            return "cabinet " + std::to_string(k) + " does not continue a split block";
        for (size_t fi = 0; fi < cab.folders.size(); ++fi) {
            const ParsedFolder& folder = cab.folders[fi];
            if (fi == 0 && continues) {
                if (folders->empty() || folders->back().compressionType != folder.compressionType)
                    return "continued folder changes its compression type";
            } else {
                if (pending) return "split block not continued in the next folder";
                folders->push_back(JoinedFolder{folder.compressionType, {}});
            }
            (*map)[k].push_back(folders->size() - 1);
            JoinedFolder& target = folders->back();
            for (size_t bi = 0; bi < folder.blocks.size(); ++bi) {
                const ParsedBlock& b = folder.blocks[bi];
                const bool lastInCabinet =
                    fi + 1 == cab.folders.size() && bi + 1 == folder.blocks.size();
                if (pending) {
                    JoinedBlock& piece = target.blocks.back();
                    piece.data.insert(piece.data.end(), b.data.begin(), b.data.end());
                    piece.uncompressedSize = b.uncompressedSize;
                    pending = b.uncompressedSize == 0;
                    if (pending && !lastInCabinet) return "piece of a split block inside a cabinet";
                    continue;
                }
                target.blocks.push_back(JoinedBlock{b.data, b.uncompressedSize});
                if (b.uncompressedSize == 0 && lastInCabinet && (cab.flags & kFlagNext) != 0 &&
                    k + 1 < set.size())
                    pending = true;
            }
        }
    }
    if (pending) return "set ends inside a split block";
    return "";
}

std::string InflateBlocks(const JoinedFolder& folder, std::vector<uint8_t>* stream) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -15) != Z_OK) return "inflateInit2 failed";
    std::string error;
    bool history = false;
    for (size_t i = 0; i < folder.blocks.size() && error.empty(); ++i) {
        const JoinedBlock& b = folder.blocks[i];
        if (b.data.size() < 2 || b.data[0] != 'C' || b.data[1] != 'K') {
            error = "block " + std::to_string(i) + " lacks its CK prefix";
            break;
        }
        inflateReset(&zs);
        if (history &&
            inflateSetDictionary(&zs, stream->data() + stream->size() - kBlock, kBlock) != Z_OK) {
            error = "inflateSetDictionary failed";
            break;
        }
        std::vector<uint8_t> out(b.uncompressedSize + 1);
        zs.next_in = const_cast<Bytef*>(b.data.data() + 2);
        zs.avail_in = static_cast<uInt>(b.data.size() - 2);
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&zs, Z_SYNC_FLUSH);
        const size_t produced = out.size() - zs.avail_out;
        if ((rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR) || produced != b.uncompressedSize) {
            error = "block " + std::to_string(i) + " inflates to " + std::to_string(produced) +
                    " bytes (rc " + std::to_string(rc) + "), expected " +
                    std::to_string(b.uncompressedSize);
            break;
        }
        stream->insert(stream->end(), out.begin(), out.begin() + static_cast<long>(produced));
        history = b.uncompressedSize == kBlock;
    }
    inflateEnd(&zs);
    return error;
}

}  // namespace

uint32_t ReferenceChecksum(const uint8_t* data, size_t size, uint32_t seed) {
    uint32_t c = seed;
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        c ^= data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) |
             (static_cast<uint32_t>(data[i + 3]) << 24);
    uint32_t tail = 0;
    for (; i < size; ++i) tail = (tail << 8) | data[i];
    return c ^ tail;
}

std::string ParseCabinet(const std::vector<uint8_t>& bytes, ParsedCabinet* out) {
    *out = ParsedCabinet{};
    Reader r{bytes, 0, {}};
    const std::vector<uint8_t> sig = r.Bytes(4, "signature");
    if (!r.error.empty()) return r.error;
    if (std::memcmp(sig.data(), kSignature, 4) != 0) return "wrong signature";
    const uint32_t reserved1 = r.Le(4);
    out->cabinetSize = r.Le(4);
    const uint32_t reserved2 = r.Le(4);
    const uint32_t firstFileOffset = r.Le(4);
    const uint32_t reserved3 = r.Le(4);
    out->version = r.U16();
    out->folderCount = r.U16();
    out->fileCount = r.U16();
    out->flags = r.U16();
    out->setId = r.U16();
    out->cabinetIndex = r.U16();
    if (!r.error.empty()) return r.error;
    if (reserved1 || reserved2 || reserved3) return "reserved header field not 0";
    if (out->cabinetSize != bytes.size())
        return "cabinetSize " + std::to_string(out->cabinetSize) + " but file has " + std::to_string(bytes.size()) +
               " bytes";
    if (out->version != 0x0103) return "version " + Hex(out->version);
    if (out->flags & ~(kFlagPrev | kFlagNext | kFlagReserve)) return "unknown flag bits";
    if (out->flags & kFlagReserve) {
        out->headerReserveSize = r.U16();
        out->folderReserveSize = static_cast<uint8_t>(r.Le(1));
        out->dataReserveSize = static_cast<uint8_t>(r.Le(1));
        r.ZeroBytes(out->headerReserveSize, "header reserve");
    }
    if (out->flags & kFlagPrev) {
        out->prevCabinet = r.String("prevCabinetName");
        out->prevDisk = r.String("prevDiskName");
    }
    if (out->flags & kFlagNext) {
        out->nextCabinet = r.String("nextCabinetName");
        out->nextDisk = r.String("nextDiskName");
    }
    std::vector<std::pair<uint32_t, uint16_t>> dataStarts;  // offset and block count per folder
    for (uint32_t i = 0; i < out->folderCount && r.error.empty(); ++i) {
        const uint32_t firstDataOffset = r.Le(4);
        const uint16_t blockCount = r.U16();
        out->folders.push_back(ParsedFolder{firstDataOffset, blockCount, r.U16(), {}});
        dataStarts.emplace_back(firstDataOffset, blockCount);
        r.ZeroBytes(out->folderReserveSize, "folder reserve");
    }
    if (!r.error.empty()) return r.error;
    if (firstFileOffset != r.pos)
        return "firstFileOffset " + std::to_string(firstFileOffset) + ", expected " + std::to_string(r.pos);
    for (uint32_t i = 0; i < out->fileCount; ++i) {
        ParsedFile f;
        f.fileSize = r.Le(4);
        f.folderOffset = r.Le(4);
        f.folderIndex = r.U16();
        f.date = r.U16();
        f.time = r.U16();
        f.attributes = r.U16();
        f.name = r.String("file name");
        if (!r.error.empty()) return r.error;
        if (f.attributes & ~kKnownAttributes) return "unknown attribute bits in " + f.name;
        out->files.push_back(std::move(f));
    }

    // Files are listed folder by folder; continued entries belong to the
    // first or last folder of this cabinet.
    int previous = -1;
    for (const ParsedFile& f : out->files) {
        int folder = f.folderIndex;
        if (f.folderIndex == kFromPrev || f.folderIndex == kPrevAndNext) {
            if (!(out->flags & kFlagPrev)) return f.name + " continued without a previous cabinet";
            folder = 0;
        }
        if (f.folderIndex == kToNext || f.folderIndex == kPrevAndNext) {
            if (!(out->flags & kFlagNext)) return f.name + " continued without a next cabinet";
            folder = f.folderIndex == kPrevAndNext ? 0 : out->folderCount - 1;
        }
        if (f.folderIndex == kPrevAndNext && out->folderCount != 1)
            return f.name + " continues both ways in a cabinet of several folders";
        if (folder < 0 || folder >= out->folderCount) return f.name + " has a bad folder index";
        if (folder < previous) return "file entries out of folder order at " + f.name;
        previous = folder;
    }

    for (size_t i = 0; i < out->folders.size(); ++i) {
        if (dataStarts[i].first != r.pos)
            return "folder " + std::to_string(i) + " firstDataOffset " + std::to_string(dataStarts[i].first) +
                   ", expected " + std::to_string(r.pos);
        for (uint32_t b = 0; b < dataStarts[i].second; ++b) {
            const size_t at = r.pos;
            const uint32_t checksum = r.Le(4);
            const uint16_t compressedSize = r.U16();
            ParsedBlock block{static_cast<uint32_t>(at), compressedSize, r.U16(), {}};
            r.ZeroBytes(out->dataReserveSize, "data reserve");
            block.data = r.Bytes(compressedSize, "block data");
            if (!r.error.empty()) return r.error;
            if (block.uncompressedSize > kBlock) return "block expands to more than 32768 bytes";
            const uint32_t expected = ReferenceChecksum(bytes.data() + at + 4, 4 + out->dataReserveSize,
                                                        ReferenceChecksum(block.data.data(), block.data.size(), 0));
            if (checksum != expected)
                return "block at " + std::to_string(at) + " has checksum " + Hex(checksum) + ", expected " + Hex(expected);
            out->folders[i].blocks.push_back(std::move(block));
        }
    }
    if (r.pos != bytes.size()) return std::to_string(bytes.size() - r.pos) + " bytes after the last data block";
    return "";
}

std::string JoinSet(const std::vector<ParsedCabinet>& set, std::vector<JoinedFolder>* folders) {
    std::vector<std::vector<size_t>> map;
    return Join(set, folders, &map);
}

std::string DecodeFolder(const JoinedFolder& folder, std::vector<uint8_t>* stream) {
    stream->clear();
    switch (folder.compressionType & 0x000F) {
        case 0:
            for (size_t i = 0; i < folder.blocks.size(); ++i) {
                const JoinedBlock& b = folder.blocks[i];
                if (b.data.size() != b.uncompressedSize)
                    return "stored block " + std::to_string(i) + " sizes differ";
                stream->insert(stream->end(), b.data.begin(), b.data.end());
            }
            break;
        case 1: {
            std::string error = InflateBlocks(folder, stream);
            if (!error.empty()) return error;
            break;
        }
        default:
            return "compression type " + Hex(folder.compressionType) + " not decodable here";
    }
    for (size_t i = 0; i + 1 < folder.blocks.size(); ++i)
        if (folder.blocks[i].uncompressedSize != kBlock)
            return "block " + std::to_string(i) + " is not the last but expands to " +
                   std::to_string(folder.blocks[i].uncompressedSize);
    return "";
}

std::string ExtractSet(const std::vector<ParsedCabinet>& set,
                       std::map<std::string, std::vector<uint8_t>>* files) {
    files->clear();
    std::vector<JoinedFolder> folders;
    std::vector<std::vector<size_t>> map;
    std::string error = Join(set, &folders, &map);
    if (!error.empty()) return error;
    std::vector<std::vector<uint8_t>> streams(folders.size());
    std::vector<bool> decoded(folders.size(), false);
    std::map<std::string, ParsedFile> seen;
    for (size_t k = 0; k < set.size(); ++k) {
        for (const ParsedFile& f : set[k].files) {
            size_t local = f.folderIndex;
            if (f.folderIndex == kFromPrev || f.folderIndex == kPrevAndNext) local = 0;
            else if (f.folderIndex == kToNext) local = set[k].folders.size() - 1;
            const size_t joined = map[k][local];
            auto it = seen.find(f.name);
            if (it != seen.end()) {
                const ParsedFile& a = it->second;
                if (a.fileSize != f.fileSize || a.folderOffset != f.folderOffset ||
                    a.date != f.date || a.time != f.time || a.attributes != f.attributes)
                    return "entries of " + f.name + " disagree between cabinets";
                continue;
            }
            seen[f.name] = f;
            if (!decoded[joined]) {
                error = DecodeFolder(folders[joined], &streams[joined]);
                if (!error.empty()) return error;
                decoded[joined] = true;
            }
            const std::vector<uint8_t>& s = streams[joined];
            if (static_cast<uint64_t>(f.folderOffset) + f.fileSize > s.size())
                return f.name + " lies beyond its folder's data";
            (*files)[f.name] = std::vector<uint8_t>(s.begin() + f.folderOffset,
                                                    s.begin() + f.folderOffset + f.fileSize);
        }
    }
    return "";
}

}  // namespace testsupport

}  // namespace treepak
