#include "cab_builder.h"

#include <algorithm>

#include "cabinet/checksum.h"
#include "cabinet/format.h"
#include "cabinet/records.h"

namespace treepak {

namespace testsupport {
namespace {

void AppendName(std::vector<uint8_t>& out, const std::string& name) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

template <size_t N>
void Append(std::vector<uint8_t>& out, const uint8_t (&bytes)[N]) {
    out.insert(out.end(), bytes, bytes + N);
}

}  // namespace

std::vector<uint8_t> BuildCabinetBytes(const CabLayout& layout) {
    const uint32_t folderReserve = layout.reservePresent ? layout.folderReserveSize : 0;
    const uint32_t dataReserve = layout.reservePresent ? layout.dataReserveSize : 0;

    std::vector<uint8_t> tail;  // everything after the fixed header
    if (layout.reservePresent) {
        tail.push_back(static_cast<uint8_t>(layout.headerReserveSize));
        tail.push_back(static_cast<uint8_t>(layout.headerReserveSize >> 8));
        tail.push_back(layout.folderReserveSize);
        tail.push_back(layout.dataReserveSize);
        tail.insert(tail.end(), layout.headerReserveSize, layout.reserveFill);
    }
    if (layout.hasPrev) {
        AppendName(tail, layout.prevCabinet);
        AppendName(tail, layout.prevDisk);
    }
    if (layout.hasNext) {
        AppendName(tail, layout.nextCabinet);
        AppendName(tail, layout.nextDisk);
    }
    const uint32_t headerTotal = CFHEADER_SIZE + static_cast<uint32_t>(tail.size());
    const uint32_t foldersTotal =
        static_cast<uint32_t>(layout.folders.size()) * (CFFOLDER_SIZE + folderReserve);

    std::vector<uint8_t> fileTable;
    for (const CabFileLayout& f : layout.files) {
        uint8_t entry[CFFILE_SIZE];
        EncodeFile(CFFILE{f.size, f.folderOffset, f.folderIndex, f.date, f.time, f.attributes},
                   entry);
        Append(fileTable, entry);
        AppendName(fileTable, f.name);
    }
    const uint32_t dataStart = headerTotal + foldersTotal + static_cast<uint32_t>(fileTable.size());

    std::vector<uint8_t> folderTable, dataArea;
    for (const CabFolderLayout& folder : layout.folders) {
        const uint16_t count = folder.blockCountOverride.value_or(
            static_cast<uint16_t>(folder.blocks.size()));
        uint8_t entry[CFFOLDER_SIZE];
        EncodeFolder(CFFOLDER{dataStart + static_cast<uint32_t>(dataArea.size()), count,
                              folder.compressionType},
                     entry);
        Append(folderTable, entry);
        folderTable.insert(folderTable.end(), folderReserve, layout.reserveFill);
        for (const CabBlockLayout& block : folder.blocks) {
            const auto size = static_cast<uint16_t>(block.data.size());
            std::vector<uint8_t> header(CFDATA_SIZE + dataReserve, layout.reserveFill);
            EncodeData(CFDATA{0, block.compressedSizeOverride.value_or(size),
                              block.uncompressedSize},
                       header.data());
            uint32_t checksum = 0;
            if (block.writeChecksum) {
                checksum =
                    CabDataChecksum(header.data(), dataReserve, block.data.data(), size);
            }
            header[0] = static_cast<uint8_t>(checksum);
            header[1] = static_cast<uint8_t>(checksum >> 8);
            header[2] = static_cast<uint8_t>(checksum >> 16);
            header[3] = static_cast<uint8_t>(checksum >> 24);
            dataArea.insert(dataArea.end(), header.begin(), header.end());
            dataArea.insert(dataArea.end(), block.data.begin(), block.data.end());
        }
    }

    CFHEADER h{};
    std::copy(std::begin(CAB_SIGNATURE), std::end(CAB_SIGNATURE), h.signature);
    h.cabinetSize = dataStart + static_cast<uint32_t>(dataArea.size());
    h.firstFileOffset = headerTotal + foldersTotal;
    h.versionMinor = static_cast<uint8_t>(layout.version);
    h.versionMajor = static_cast<uint8_t>(layout.version >> 8);
    h.folderCount = static_cast<uint16_t>(layout.folders.size());
    h.fileCount = layout.fileCountOverride.value_or(static_cast<uint16_t>(layout.files.size()));
    h.flags = static_cast<uint16_t>((layout.hasPrev ? CAB_FLAG_PREV_CABINET : 0) |
                                    (layout.hasNext ? CAB_FLAG_NEXT_CABINET : 0) |
                                    (layout.reservePresent ? CAB_FLAG_RESERVE_PRESENT : 0));
    h.setId = layout.setId;
    h.cabinetIndex = layout.cabinetIndex;

    std::vector<uint8_t> out(CFHEADER_SIZE);
    EncodeHeader(h, out.data());
    out.insert(out.end(), tail.begin(), tail.end());
    out.insert(out.end(), folderTable.begin(), folderTable.end());
    out.insert(out.end(), fileTable.begin(), fileTable.end());
    out.insert(out.end(), dataArea.begin(), dataArea.end());
    return out;
}

std::vector<std::vector<CabBlockLayout>> CutFolderBlocks(const std::vector<CabBlockLayout>& blocks,
                                                       const std::vector<uint32_t>& cuts) {
    std::vector<std::vector<CabBlockLayout>> cabinets(1);
    size_t nextCut = 0;
    uint32_t blockBegin = 0;
    for (const CabBlockLayout& block : blocks) {
        const auto blockEnd = blockBegin + static_cast<uint32_t>(block.data.size());
        uint32_t pieceBegin = blockBegin;
        // Cuts at or before this block's start close cabinets between blocks.
        while (nextCut < cuts.size() && cuts[nextCut] <= blockBegin) {
            cabinets.emplace_back();
            ++nextCut;
        }
        while (nextCut < cuts.size() && cuts[nextCut] < blockEnd) {
            CabBlockLayout piece;
            piece.data.assign(block.data.begin() + (pieceBegin - blockBegin),
                              block.data.begin() + (cuts[nextCut] - blockBegin));
            piece.uncompressedSize = 0;
            cabinets.back().push_back(piece);
            cabinets.emplace_back();
            pieceBegin = cuts[nextCut];
            ++nextCut;
        }
        CabBlockLayout last;
        last.data.assign(block.data.begin() + (pieceBegin - blockBegin), block.data.end());
        last.uncompressedSize = block.uncompressedSize;
        cabinets.back().push_back(last);
        blockBegin = blockEnd;
    }
    return cabinets;
}

std::vector<CabBlockLayout> StoredBlocks(const std::vector<uint8_t>& stream) {
    std::vector<CabBlockLayout> blocks;
    for (size_t at = 0; at < stream.size(); at += CAB_BLOCK_SIZE) {
        const size_t end = std::min(stream.size(), at + CAB_BLOCK_SIZE);
        CabBlockLayout block;
        block.data.assign(stream.begin() + at, stream.begin() + end);
        block.uncompressedSize = static_cast<uint16_t>(end - at);
        blocks.push_back(block);
    }
    return blocks;
}

}  // namespace testsupport

}  // namespace treepak
