#include "expand_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/format.h"
#include "cabinet/records.h"
#include "test_support.h"

namespace expandtest {

namespace {

constexpr uint32_t kBlockSize = 32768;

std::vector<uint8_t> DeflateBlock(const uint8_t* data, uint32_t size, const uint8_t* dictionary,
                                  const CabLayout& layout) {
    z_stream stream{};
    deflateInit2(&stream, layout.zlibLevel, Z_DEFLATED, -15, 8, layout.zlibStrategy);
    if (dictionary != nullptr) deflateSetDictionary(&stream, dictionary, kBlockSize);
    std::vector<uint8_t> out(2 + deflateBound(&stream, size));
    out[0] = 'C';
    out[1] = 'K';
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = size;
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    deflate(&stream, Z_FINISH);
    out.erase(out.begin() + 2 + stream.total_out, out.end());
    deflateEnd(&stream);
    return out;
}

void Append(std::vector<uint8_t>& out, const uint8_t* bytes, size_t size) { out.insert(out.end(), bytes, bytes + size); }

void AppendName(std::vector<uint8_t>& out, const std::string& name) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

}  // namespace

std::vector<uint8_t> BuildCabinet(const std::vector<CabFile>& files, const CabLayout& layout) {
    std::vector<uint8_t> stream;
    for (const CabFile& file : files) stream.insert(stream.end(), file.data.begin(), file.data.end());
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint32_t> blockSizes;
    for (size_t offset = 0; offset < stream.size(); offset += kBlockSize) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(kBlockSize, stream.size() - offset));
        if (layout.coding == BlockCoding::Stored) {
            blocks.emplace_back(stream.begin() + offset, stream.begin() + offset + size);
        } else {
            blocks.push_back(DeflateBlock(stream.data() + offset, size,
                                          offset == 0 ? nullptr : stream.data() + offset - kBlockSize, layout));
        }
        blockSizes.push_back(size);
    }

    std::vector<uint8_t> names;
    if (!layout.nextCabinet.empty()) {
        AppendName(names, layout.nextCabinet);
        AppendName(names, "DISK");
    }
    std::vector<uint8_t> fileTable;
    uint32_t folderOffset = 0;
    for (const CabFile& file : files) {
        CFFILE entry{static_cast<uint32_t>(file.data.size()), folderOffset, 0, file.date, file.time, file.attributes};
        uint8_t raw[CFFILE_SIZE];
        EncodeFile(entry, raw);
        Append(fileTable, raw, sizeof(raw));
        AppendName(fileTable, file.name);
        folderOffset += static_cast<uint32_t>(file.data.size());
    }
    const uint32_t folderTableOffset = CFHEADER_SIZE + static_cast<uint32_t>(names.size());
    const uint32_t fileTableOffset = folderTableOffset + CFFOLDER_SIZE;
    const uint32_t dataOffset = fileTableOffset + static_cast<uint32_t>(fileTable.size());
    std::vector<uint8_t> data;
    for (size_t i = 0; i < blocks.size(); ++i) {
        CFDATA header{0, static_cast<uint16_t>(blocks[i].size()), static_cast<uint16_t>(blockSizes[i])};
        uint8_t raw[CFDATA_SIZE];
        EncodeData(header, raw);
        Append(data, raw, sizeof(raw));
        data.insert(data.end(), blocks[i].begin(), blocks[i].end());
    }

    CFHEADER header{};
    std::memcpy(header.signature, CAB_SIGNATURE, sizeof(CAB_SIGNATURE));
    header.cabinetSize = dataOffset + static_cast<uint32_t>(data.size());
    header.firstFileOffset = fileTableOffset;
    header.versionMinor = CAB_VERSION & 0xFF;
    header.versionMajor = CAB_VERSION >> 8;
    header.folderCount = 1;
    header.fileCount = static_cast<uint16_t>(files.size());
    header.flags = layout.nextCabinet.empty() ? 0 : CAB_FLAG_NEXT_CABINET;
    header.setId = layout.setId;
    header.cabinetIndex = layout.cabinetIndex;
    std::vector<uint8_t> cabinet(CFHEADER_SIZE);
    EncodeHeader(header, cabinet.data());
    cabinet.insert(cabinet.end(), names.begin(), names.end());
    CFFOLDER folder{dataOffset, static_cast<uint16_t>(blocks.size()),
                    layout.coding == BlockCoding::Stored ? COMPRESS_NONE : COMPRESS_DEFLATE};
    uint8_t rawFolder[CFFOLDER_SIZE];
    EncodeFolder(folder, rawFolder);
    Append(cabinet, rawFolder, sizeof(rawFolder));
    cabinet.insert(cabinet.end(), fileTable.begin(), fileTable.end());
    cabinet.insert(cabinet.end(), data.begin(), data.end());
    return cabinet;
}

std::map<std::string, FileState> Snapshot(const std::filesystem::path& root) {
    std::map<std::string, FileState> snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        struct stat info {};
        stat(entry.path().c_str(), &info);
        snapshot[std::filesystem::relative(entry.path(), root).generic_string()] =
            FileState{testsupport::ReadFileBytes(entry.path()), static_cast<int64_t>(info.st_mtime),
                      (info.st_mode & S_IWUSR) == 0};
    }
    return snapshot;
}

void MakeSampleTree(const std::filesystem::path& root, uint64_t seed) {
    namespace fs = std::filesystem;
    testsupport::Rng rng(seed);
    const char* const directories[] = {"", "docs", "docs/deep/er", "bin", "empty-dir-sibling"};
    int index = 0;
    for (const char* directory : directories) {
        fs::create_directories(root / directory);
        for (int i = 0; i < 4; ++i, ++index) {
            std::vector<uint8_t> bytes;
            switch (index % 5) {
            case 0: bytes = testsupport::TextBytes(100 + rng.Below(90000), seed + index); break;
            case 1: bytes = testsupport::RandomBytes(rng.Below(5000), seed + index); break;
            case 2: bytes.assign(40000 + rng.Below(3000), static_cast<uint8_t>(index)); break;
            case 3: break;  // empty
            default: bytes = testsupport::TextBytes(70000, seed + index); break;
            }
            const fs::path file = root / directory / ("file" + std::to_string(index) + ".dat");
            testsupport::WriteFileBytes(file, bytes);
            struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000 + 2 * static_cast<time_t>(rng.Below(1000000)), 0}};
            utimensat(AT_FDCWD, file.c_str(), times, 0);
            if (index % 7 == 3) fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
        }
    }
}

int RunIn(const std::filesystem::path& directory, const std::string& command, std::string* output) {
    std::string ignored;
    return testsupport::RunCommand("cd '" + directory.string() + "' && " + command + " 2>&1",
                                   output ? output : &ignored);
}

std::string TreepakBinary() { return TREEPAK_BINARY_DIR "/app/treepak"; }
std::string CabwriteBinary() { return TREEPAK_BINARY_DIR "/tools/cabwrite"; }

std::vector<uint8_t> MakeExecutable(uint16_t sections) {
    constexpr uint32_t kPeOffset = 0x80;
    constexpr uint16_t kOptionalSize = 224;
    constexpr uint32_t kSectionHeaders = kPeOffset + 24 + kOptionalSize;
    constexpr uint32_t kRawAlign = 0x200;
    constexpr uint32_t kRawSize = 0x400;
    std::vector<uint8_t> image(kRawAlign * 2 + static_cast<size_t>(sections) * kRawSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    cab::StoreLe32(image.data() + 60, kPeOffset);
    std::memcpy(image.data() + kPeOffset, "PE\0\0", 4);
    cab::StoreLe16(image.data() + kPeOffset + 4, 0x014C);  // machine
    cab::StoreLe16(image.data() + kPeOffset + 6, sections);
    cab::StoreLe16(image.data() + kPeOffset + 20, kOptionalSize);
    cab::StoreLe16(image.data() + kPeOffset + 24, 0x010B);  // optional header magic
    for (uint16_t i = 0; i < sections; ++i) {
        uint8_t* header = image.data() + kSectionHeaders + i * 40u;
        std::memcpy(header, ".sect", 5);
        cab::StoreLe32(header + 16, kRawSize);
        cab::StoreLe32(header + 20, kRawAlign * 2 + i * kRawSize);
        for (uint32_t b = 0; b < kRawSize; ++b) image[kRawAlign * 2 + i * kRawSize + b] = static_cast<uint8_t>(b * 7 + i);
    }
    return image;
}

}  // namespace expandtest
