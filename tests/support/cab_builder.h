// Builds cabinet files in memory from a plain description, for tests that
// feed the reader hand-made (and deliberately broken) cabinets. Checksums are
// computed unless a block asks otherwise; offsets and counts are derived from
// the description unless overridden.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace treepak {

namespace testsupport {

struct CabBlockLayout {
    std::vector<uint8_t> data;  // compressed bytes of this block (or piece)
    uint16_t uncompressedSize = 0;
    bool writeChecksum = true;                // false stores 0 (no check)
    std::optional<uint16_t> compressedSizeOverride;
};

struct CabFolderLayout {
    uint16_t compressionType = 0;
    std::vector<CabBlockLayout> blocks;
    std::optional<uint16_t> blockCountOverride;
};

struct CabFileLayout {
    std::string name;
    uint32_t size = 0;
    uint32_t folderOffset = 0;
    uint16_t folderIndex = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
};

struct CabLayout {
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
    uint16_t version = 0x0103;
    bool hasPrev = false;
    std::string prevCabinet, prevDisk;
    bool hasNext = false;
    std::string nextCabinet, nextDisk;
    bool reservePresent = false;
    uint16_t headerReserveSize = 0;
    uint8_t folderReserveSize = 0;
    uint8_t dataReserveSize = 0;
    uint8_t reserveFill = 0;  // byte written in every reserve area
    std::vector<CabFolderLayout> folders;
    std::vector<CabFileLayout> files;
    std::optional<uint16_t> fileCountOverride;
};

std::vector<uint8_t> BuildCabinetBytes(const CabLayout& layout);

// One folder's whole blocks, cut into per-cabinet block lists at positions of
// the compressed stream. A cut inside a block splits it: every piece but the
// last gets uncompressedSize 0. Repeating a cut position gives a piece of 0
// bytes in the cabinet between.
std::vector<std::vector<CabBlockLayout>> CutFolderBlocks(const std::vector<CabBlockLayout>& blocks,
                                                       const std::vector<uint32_t>& cuts);

// Stored blocks (compressed = uncompressed) of at most 32768 bytes.
std::vector<CabBlockLayout> StoredBlocks(const std::vector<uint8_t>& stream);

}  // namespace testsupport

}  // namespace treepak
