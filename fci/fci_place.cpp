// Placing a finished folder into the cabinet under construction. The
// folder's records are copied into the cabinet's data area, file table and
// folder table, each CFDATA getting its checksum on the way. When the
// cabinet would grow past its size limit (or the client forces the end of
// the cabinet) the folder is cut: the blocks that fit stay, one block may be
// split so that the cabinet reaches exactly its limit, the cabinet is
// written, and the rest of the folder goes on as folder 0 of the next
// cabinet. Files whose bytes reach past the cut are listed in both cabinets
// with the continuation folder indices. A folder of which not one byte fits
// behind the cabinet's other folders is not cut at all: the cabinet is
// written without it and the folder starts afresh in the next one.
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/checksum.h"
#include "cabinet/tp_assert.h"
#include "fci/fci_internal.h"

namespace treepak {

namespace {

struct PlaceBuffers {
    uint8_t* readBack;   // CFDATA header of the record read back (A)
    uint8_t* firstPiece; // CFDATA header of the first piece of a cut block (B)
    uint8_t* folderRecord;
};

// One pass over the folder's remaining records; a pass that cuts ends with
// a written cabinet.
struct Pass {
    uint32_t total;        // progress total: the size estimate at the start
    uint32_t copied;       // compressed bytes gone through so far
    int64_t room;          // maxCabinetSize minus the estimate (negative: over)
    bool cut;
    uint32_t blocksTaken;  // records (whole or first pieces) put into this cabinet
    uint64_t dataLimit;    // bytes of the folder's records that fit when cutting
};

// Room for the folder's records when the cabinet is cut: the room left
// (negative when the other parts alone already pass the limit, and then
// nothing fits) plus the records' own bytes, which the estimate counted.
uint64_t DataLimit(int64_t room, uint32_t dataBytes) {
    const int64_t limit = room + dataBytes;
    return limit > 0 ? static_cast<uint64_t>(limit) : 0;
}

uint32_t NamePairSize(const char* name, const char* disk) {
    return NameLength(name) + NameLength(disk) + 2;
}

bool AddCount(const FciIo& io, uint16_t* count) {
    if (*count >= CAB_MAX_COUNT) {
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return false;
    }
    ++*count;
    return true;
}

// Ends the cabinet after this pass: the client names the next cabinet and
// the room left shrinks by the next names this cabinet will carry.
bool StartCut(CabinetState* cab, uint32_t estimate, FCIGetNextCabinetFn getNextCabinet,
              Pass* pass) {
    const FciIo& io = *cab->io;
    if (cab->savedCabinetName[0] == '\0') {
        CopyName(cab->savedCabinetName, cab->current.cabinetName);
        CopyName(cab->savedDiskName, cab->current.diskName);
    }
    if (cab->nextCabinetName[0] != '\0')
        estimate -= NamePairSize(cab->nextCabinetName, cab->nextDiskName);
    cab->next = cab->current;
    cab->next.cabinetNumber += 1;
    cab->lastEstimate = estimate;
    if (getNextCabinet == nullptr ||
        getNextCabinet(&cab->next, estimate, io.clientContext) == -1) {
        RecordError(io, FCIERR_ABORT, 0);
        return false;
    }
    CopyName(cab->nextCabinetName, cab->next.cabinetName);
    CopyName(cab->nextDiskName, cab->next.diskName);
    // Without a name the next cabinet could neither be created nor found
    // from this one.
    if (cab->nextCabinetName[0] == '\0') {
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return false;
    }
    pass->room = static_cast<int64_t>(cab->current.maxCabinetSize) -
                 (static_cast<int64_t>(estimate) +
                  NamePairSize(cab->nextCabinetName, cab->nextDiskName));
    if (cab->next.maxCabinetSize == 0) cab->next.maxCabinetSize = FCI_DEFAULT_MAX_CABINET;
    return true;
}

bool WriteChecksummed(CabinetState* cab, uint8_t* header, const uint8_t* data, uint32_t size) {
    cab::StoreLe32(header, CabDataChecksum(header, cab->dataReserveSize, data, size));
    TempFile* area = &cab->files[CABINET_DATA];
    return WriteTemp(*cab->io, area, header, cab->dataHeaderSize) &&
           WriteTemp(*cab->io, area, data, size);
}

// Copies the folder's data records: a prefix of them goes into the cabinet
// (the last of it possibly cut), the rest into the folder's new data file.
bool PlaceBlocks(CabinetState* cab, FolderState* folder, const PlaceBuffers& buffers,
                 FCIStatusFn status, uint32_t* placedUncompressed, CFFOLDER* record, Pass* pass) {
    const FciIo& io = *cab->io;
    const uint32_t hd = cab->dataHeaderSize;
    TempFile& data = folder->files[FOLDER_DATA];
    TempFile* rest = &folder->files[FOLDER_NEW_DATA];
    if (!SeekTemp(io, data, 0)) return false;
    const uint64_t limit = pass->dataLimit;
    uint64_t taken = 0;
    uint8_t* a = buffers.readBack;
    for (;;) {
        const int64_t got = ReadTemp(io, data, a, hd);
        if (got < 0) return false;
        if (got < hd) break;
        CFDATA block;
        DecodeData(a, &block);
        const uint32_t c = block.compressedSize;
        // A record larger than any the compressor can make, or cut short,
        // means the temporary file is not what the engine wrote.
        const int64_t read = c > folder->outputCapacity ? 0 : ReadTemp(io, data, folder->output, c);
        if (read < 0) return false;
        if (read != c) {
            RecordError(io, FCIERR_TEMP_FILE, 0);
            return false;
        }
        // A record that fits exactly is taken whole, so no piece is ever empty.
        if (!pass->cut || taken + c + hd <= limit) {
            if (!AddCount(io, &record->dataBlockCount)) return false;
            *placedUncompressed += block.uncompressedSize;
            if (!WriteChecksummed(cab, a, folder->output, c)) return false;
            ++pass->blocksTaken;
        } else if (taken + hd < limit) {
            const uint32_t p = static_cast<uint32_t>(limit - hd - taken);
            TP_ASSERT(p >= 1 && p < c);
            if (!AddCount(io, &record->dataBlockCount)) return false;
            uint8_t* b = buffers.firstPiece;
            std::memset(b, 0, hd);
            EncodeData(CFDATA{0, static_cast<uint16_t>(p), 0}, b);
            if (!WriteChecksummed(cab, b, folder->output, p)) return false;
            cab::StoreLe32(a, 0);
            cab::StoreLe16(a + 4, static_cast<uint16_t>(c - p));
            if (!WriteTemp(io, rest, a, hd) || !WriteTemp(io, rest, folder->output + p, c - p))
                return false;
            ++pass->blocksTaken;
        } else {
            if (!WriteTemp(io, rest, a, hd) || !WriteTemp(io, rest, folder->output, c))
                return false;
        }
        taken += c + hd;
        pass->copied += c;
        if (!ReportStatus(io, status, FCI_STATUS_FOLDER, pass->copied, pass->total)) return false;
    }
    return true;
}

// Reads the name that follows an entry's fixed part and leaves the file
// position just after its NUL.
bool ReadEntryName(const FciIo& io, const TempFile& entries, uint32_t namePosition, char* name) {
    const int64_t got = ReadTemp(io, entries, name, FCI_NAME_SIZE);
    if (got < 0) return false;
    const void* nul = got > 0 ? std::memchr(name, '\0', static_cast<size_t>(got)) : nullptr;
    if (nul == nullptr) {
        RecordError(io, FCIERR_TEMP_FILE, 0);
        return false;
    }
    const uint32_t length = static_cast<uint32_t>(static_cast<const char*>(nul) - name);
    return SeekTemp(io, entries, namePosition + length + 1);
}

bool IsContinuedFromPrev(uint16_t index) {
    return index == FOLDER_CONTINUED_FROM_PREV || index == FOLDER_CONTINUED_PREV_AND_NEXT;
}

// Lists the folder's files in the cabinet; those whose bytes reach past what
// this cabinet holds are carried into the folder's new entry file.
bool PlaceEntries(CabinetState* cab, FolderState* folder, uint32_t placedUncompressed) {
    const FciIo& io = *cab->io;
    TempFile& entries = folder->files[FOLDER_ENTRIES];
    TempFile* table = &cab->files[CABINET_FILES];
    TempFile* carried = &folder->files[FOLDER_NEW_ENTRIES];
    if (!SeekTemp(io, entries, 0)) return false;
    uint32_t position = 0;
    uint8_t fixed[CFFILE_SIZE];
    for (;;) {
        const int64_t got = ReadTemp(io, entries, fixed, CFFILE_SIZE);
        if (got < 0) return false;
        if (got < CFFILE_SIZE) break;
        if (!ReadEntryName(io, entries, position + CFFILE_SIZE, cab->entryName)) return false;
        position += CFFILE_SIZE + NameLength(cab->entryName) + 1;

        CFFILE entry;
        DecodeFile(fixed, &entry);
        const bool continued = IsContinuedFromPrev(entry.folderIndex);
        if (cab->filePlaced != nullptr &&
            cab->filePlaced(&cab->current, cab->entryName, entry.fileSize, continued ? 1 : 0,
                            io.clientContext) == -1) {
            RecordError(io, FCIERR_ABORT, 0);
            return false;
        }
        if (!continued) entry.folderIndex = cab->folderIndex;
        const uint64_t end = static_cast<uint64_t>(entry.folderOffset) + entry.fileSize;
        if (end > placedUncompressed)
            entry.folderIndex = continued ? FOLDER_CONTINUED_PREV_AND_NEXT : FOLDER_CONTINUED_TO_NEXT;
        EncodeFile(entry, fixed);
        if (!AddCount(io, &cab->header.fileCount) || !WriteTemp(io, table, fixed, CFFILE_SIZE) ||
            !WriteTempString(io, table, cab->entryName))
            return false;
        if (entry.folderIndex == FOLDER_CONTINUED_TO_NEXT ||
            entry.folderIndex == FOLDER_CONTINUED_PREV_AND_NEXT) {
            entry.folderIndex = FOLDER_CONTINUED_FROM_PREV;
            EncodeFile(entry, fixed);
            if (!WriteTemp(io, carried, fixed, CFFILE_SIZE) ||
                !WriteTempString(io, carried, cab->entryName))
                return false;
        }
    }
    return true;
}

// Writes the current cabinet and makes the next parameters current.
bool EndCabinet(CabinetState* cab, FCIStatusFn status, Pass* pass) {
    if (!WriteCabinet(cab, status, &pass->copied, pass->total)) return false;
    // A next cabinet on the same disk inherits the limit the cabinet status
    // report may have lowered.
    if (cab->current.maxCabinetSize != 0 && cab->next.diskNumber == cab->current.diskNumber)
        cab->next.maxCabinetSize = cab->current.maxCabinetSize;
    cab->current = cab->next;
    cab->folderIndex = 0;
    return true;
}

bool PlacePass(CabinetState* cab, FolderState* folder, bool force, const PlaceBuffers& buffers,
               FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status,
               uint32_t* placedUncompressed) {
    const FciIo& io = *cab->io;
    const uint32_t lf = folder->files[FOLDER_ENTRIES].size;
    const uint32_t df = folder->files[FOLDER_DATA].size;
    const uint32_t fc = cab->files[CABINET_FOLDERS].size;
    const uint32_t dc = cab->files[CABINET_DATA].size;
    const uint32_t estimate = lf + HeaderBytes(*cab) + cab->files[CABINET_FILES].size +
                              cab->folderRecordSize + df + fc + dc;
    if (!ReportStatus(io, status, FCI_STATUS_FOLDER, 0, estimate)) return false;
    Pass pass{estimate, 0, static_cast<int64_t>(cab->current.maxCabinetSize) - estimate, false, 0, 0};

    pass.cut = pass.room < 0 || force;
    if (pass.cut && !StartCut(cab, estimate, getNextCabinet, &pass)) return false;
    pass.dataLimit = DataLimit(pass.room, df);

    // When not even one byte of this folder's data fits, its folder record
    // and entries would only push the cabinet past its limit.
    const bool nothingFits = pass.cut && (df != 0 ? pass.dataLimit <= cab->dataHeaderSize
                                                  : pass.room < 0);
    const bool cabinetHoldsMore = fc != 0 || dc != 0;
    if (nothingFits && cabinetHoldsMore) {
        // The folder starts afresh in the next cabinet.
        return EndCabinet(cab, status, &pass);
    }
    if (nothingFits && df != 0) {
        // The cabinet holds nothing else: the limit is too small for any
        // cabinet, and every further pass would cut again without progress.
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return false;
    }
    if (!CreateTempFiles(io, folder->files + FOLDER_NEW_DATA, FOLDER_PAIR)) return false;
    if (df != 0 && !StartDirectData(cab)) return false;
    CFFOLDER record{dc, 0, folder->compressionType};
    if (!PlaceBlocks(cab, folder, buffers, status, placedUncompressed, &record, &pass))
        return false;

    std::memset(buffers.folderRecord, 0, cab->folderRecordSize);
    EncodeFolder(record, buffers.folderRecord);
    if (!AddCount(io, &cab->header.folderCount) ||
        !WriteTemp(io, &cab->files[CABINET_FOLDERS], buffers.folderRecord, cab->folderRecordSize))
        return false;
    if (!PlaceEntries(cab, folder, *placedUncompressed)) return false;

    // The remainder files take the place of the folder's files.
    if (!CloseAndDeleteTempFiles(io, folder->files, FOLDER_PAIR)) return false;
    folder->files[FOLDER_DATA] = folder->files[FOLDER_NEW_DATA];
    folder->files[FOLDER_ENTRIES] = folder->files[FOLDER_NEW_ENTRIES];
    MarkClosed(folder->files + FOLDER_NEW_DATA, FOLDER_PAIR);

    return !pass.cut || EndCabinet(cab, status, &pass);
}

}  // namespace

bool PlaceFolder(CabinetState* cab, FolderState* folder, bool force,
                 FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status) {
    const FciIo& io = *cab->io;
    cab->savedCabinetName[0] = '\0';
    cab->savedDiskName[0] = '\0';
    if (!FinishFolder(folder, status)) return false;
    if (folder->files[FOLDER_ENTRIES].size + folder->files[FOLDER_DATA].size == 0) return true;

    PlaceBuffers buffers{};
    buffers.readBack = static_cast<uint8_t*>(io.alloc(cab->dataHeaderSize));
    buffers.firstPiece = static_cast<uint8_t*>(io.alloc(cab->dataHeaderSize));
    buffers.folderRecord = static_cast<uint8_t*>(io.alloc(cab->folderRecordSize));
    bool ok = buffers.readBack != nullptr && buffers.firstPiece != nullptr &&
              buffers.folderRecord != nullptr;
    if (!ok) RecordError(io, FCIERR_NO_MEMORY, 0);

    uint32_t placedUncompressed = 0;
    while (ok && folder->files[FOLDER_ENTRIES].size + folder->files[FOLDER_DATA].size != 0)
        ok = PlacePass(cab, folder, force, buffers, getNextCabinet, status, &placedUncompressed);
    if (ok && !force) ++cab->folderIndex;

    if (buffers.readBack != nullptr) io.free(buffers.readBack);
    if (buffers.firstPiece != nullptr) io.free(buffers.firstPiece);
    if (buffers.folderRecord != nullptr) io.free(buffers.folderRecord);
    return ok;
}

}  // namespace treepak
