#include "expand_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "cab_builder.h"
#include "cabinet/bytes.h"
#include "cabinet/format.h"
#include "test_support.h"

namespace treepak {

namespace expandtest {

std::vector<uint8_t> BuildCabinet(const std::vector<CabFile>& files, const CabLayout& options) {
    testsupport::CabLayout layout;
    layout.setId = options.setId;
    layout.cabinetIndex = options.cabinetIndex;
    layout.hasNext = !options.nextCabinet.empty();
    layout.nextCabinet = options.nextCabinet;
    layout.nextDisk = "DISK";
    std::vector<uint8_t> stream;
    for (const CabFile& f : files) {
        layout.files.push_back({f.name, static_cast<uint32_t>(f.data.size()), static_cast<uint32_t>(stream.size()), 0,
                                f.date, f.time, f.attributes});
        stream.insert(stream.end(), f.data.begin(), f.data.end());
    }
    testsupport::CabFolderLayout folder;
    folder.blocks = testsupport::StoredBlocks(stream);
    layout.folders.push_back(folder);
    return testsupport::BuildCabinetBytes(layout);
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

}  // namespace treepak
