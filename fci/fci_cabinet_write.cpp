// Writing a cabinet file from the cabinet state: the header with its
// optional reserve fields and prev/next names, then the folder table (each
// firstDataOffset made absolute), the file table and the data area. The
// header first carries a placeholder signature; the real one is the very
// last write before the file is closed, so an unfinished or failed file
// never looks like a cabinet. A file that fails before it is closed is
// closed and deleted.
#include <cstring>

#include "cabinet/bytes.h"
#include "fci/fci_internal.h"

namespace treepak {

namespace {

struct OutputCabinet {
    const FciIo* io;
    int32_t handle;
};

bool Write(const OutputCabinet& file, const void* bytes, uint32_t count) {
    int32_t error = 0;
    if (file.io->write(file.handle, bytes, count, &error, file.io->clientContext) !=
        static_cast<int32_t>(count)) {
        RecordError(*file.io, FCIERR_CABINET_FILE, error);
        return false;
    }
    return true;
}

bool WriteString(const OutputCabinet& file, const char* text) {
    return Write(file, text, NameLength(text) + 1);
}

bool WriteHeader(CabinetState* cab, const OutputCabinet& file) {
    uint8_t fixed[CFHEADER_SIZE];
    EncodeHeader(cab->header, fixed);
    if (!Write(file, fixed, CFHEADER_SIZE)) return false;
    if (cab->reservePresent) {
        uint8_t sizes[CFHEADER_RESERVE_FIELDS_SIZE];
        cab::StoreLe16(sizes, static_cast<uint16_t>(cab->headerReserveSize));
        sizes[2] = static_cast<uint8_t>(cab->folderReserveSize);
        sizes[3] = static_cast<uint8_t>(cab->dataReserveSize);
        if (!Write(file, sizes, CFHEADER_RESERVE_FIELDS_SIZE)) return false;
        for (uint32_t left = cab->headerReserveSize; left != 0;) {
            const uint32_t piece = left < FCI_ZERO_BUFFER_SIZE ? left : FCI_ZERO_BUFFER_SIZE;
            if (!Write(file, cab->zeros, piece)) return false;
            left -= piece;
        }
    }
    if ((cab->header.flags & CAB_FLAG_PREV_CABINET) != 0 &&
        (!WriteString(file, cab->prevCabinetName) || !WriteString(file, cab->prevDiskName)))
        return false;
    if ((cab->header.flags & CAB_FLAG_NEXT_CABINET) != 0 &&
        (!WriteString(file, cab->nextCabinetName) || !WriteString(file, cab->nextDiskName)))
        return false;
    return true;
}

bool WriteFolderTable(CabinetState* cab, const OutputCabinet& file, uint8_t* record,
                      uint32_t dataAreaStart) {
    const FciIo& io = *cab->io;
    const TempFile& table = cab->files[CABINET_FOLDERS];
    if (!SeekTemp(io, table, 0)) return false;
    for (;;) {
        const int64_t got = ReadTemp(io, table, record, cab->folderRecordSize);
        if (got < 0) return false;
        if (got < cab->folderRecordSize) return true;
        cab::StoreLe32(record, cab::LoadLe32(record) + dataAreaStart);
        if (!Write(file, record, cab->folderRecordSize)) return false;
    }
}

bool CopyTempFile(CabinetState* cab, const OutputCabinet& file, const TempFile& source,
                  FCIStatusFn status, uint32_t* copied, uint32_t total) {
    const FciIo& io = *cab->io;
    uint8_t* buffer = static_cast<uint8_t*>(io.alloc(FCI_COPY_BUFFER_SIZE));
    if (buffer == nullptr) {
        RecordError(io, FCIERR_NO_MEMORY, 0);
        return false;
    }
    bool ok = SeekTemp(io, source, 0);
    while (ok) {
        int32_t error = 0;
        const int32_t n = io.read(source.handle, buffer, FCI_COPY_BUFFER_SIZE, &error,
                                  io.clientContext);
        if (n == 0) break;
        if (n < 0 || static_cast<uint32_t>(n) > FCI_COPY_BUFFER_SIZE) {
            RecordError(io, FCIERR_CABINET_FILE, error);
            ok = false;
            break;
        }
        *copied += static_cast<uint32_t>(n);
        ok = Write(file, buffer, static_cast<uint32_t>(n)) &&
             ReportStatus(io, status, FCI_STATUS_FOLDER, *copied, total);
    }
    io.free(buffer);
    return ok;
}

// Reports the progress of a data area that is already in place as its copy
// would, piece by piece.
bool ReportInPlace(const CabinetState& cab, FCIStatusFn status, uint32_t size, uint32_t* copied, uint32_t total) {
    for (uint32_t left = size; left != 0;) {
        const uint32_t piece = left < FCI_COPY_BUFFER_SIZE ? left : FCI_COPY_BUFFER_SIZE;
        *copied += piece;
        left -= piece;
        if (!ReportStatus(*cab.io, status, FCI_STATUS_FOLDER, *copied, total)) return false;
    }
    return true;
}

// Puts the real signature over the placeholder and closes the file; its
// size (from a seek to its end) goes to *fileSize.
bool SealCabinet(CabinetState* cab, OutputCabinet* file, uint32_t* fileSize) {
    const FciIo& io = *cab->io;
    int32_t error = 0;
    const int32_t end = io.seek(file->handle, 0, IO_SEEK_END, &error, io.clientContext);
    if (end == -1) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        return false;
    }
    *fileSize = static_cast<uint32_t>(end);
    std::memcpy(cab->header.signature, CAB_SIGNATURE, sizeof CAB_SIGNATURE);
    if (io.seek(file->handle, 0, IO_SEEK_SET, &error, io.clientContext) == -1) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        return false;
    }
    if (!Write(*file, cab->header.signature, sizeof CAB_SIGNATURE)) return false;
    const int32_t handle = file->handle;
    file->handle = -1;  // whatever close reports, the handle is gone
    if (io.close(handle, &error, io.clientContext) != 0) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        return false;
    }
    return true;
}

// Everything between opening and sealing the file; with dataInPlace the
// data area is already in the file, right where the tables end.
bool WriteContents(CabinetState* cab, OutputCabinet* file, uint8_t* folderRecord, bool dataInPlace,
                   FCIStatusFn status, uint32_t* copied, uint32_t total) {
    const FciIo& io = *cab->io;
    if (cab->cabinetsWritten >= CAB_MAX_COUNT) {  // cabinetIndex is 16 bits
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return false;
    }
    const uint32_t fc = cab->files[CABINET_FOLDERS].size;
    const uint32_t lc = cab->files[CABINET_FILES].size;
    const uint32_t dc = cab->files[CABINET_DATA].size;
    const uint32_t h = HeaderBytes(*cab);
    CFHEADER& header = cab->header;
    if (cab->prevCabinetName[0] != '\0') header.flags |= CAB_FLAG_PREV_CABINET;
    if (cab->nextCabinetName[0] != '\0') header.flags |= CAB_FLAG_NEXT_CABINET;
    if (cab->reservePresent) header.flags |= CAB_FLAG_RESERVE_PRESENT;
    header.firstFileOffset = h + fc;
    header.cabinetSize = lc + dc + h + fc;
    header.setId = cab->setId;
    header.cabinetIndex = cab->cabinetsWritten++;
    int32_t error = 0;
    if (dataInPlace && io.seek(file->handle, 0, IO_SEEK_SET, &error, io.clientContext) == -1) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        return false;
    }
    if (!WriteHeader(cab, *file)) return false;

    // This cabinet's own names become the previous names of the next one.
    cab->nextCabinetName[0] = '\0';
    cab->nextDiskName[0] = '\0';
    CopyName(cab->prevCabinetName, cab->savedCabinetName);
    CopyName(cab->prevDiskName, cab->savedDiskName);
    // A folder that spans further cabinets saves the name of each one it
    // leaves, so the saved names must not outlive this cabinet.
    cab->savedCabinetName[0] = '\0';
    cab->savedDiskName[0] = '\0';

    return WriteFolderTable(cab, *file, folderRecord, lc + fc + h) &&
           CopyTempFile(cab, *file, cab->files[CABINET_FILES], status, copied, total) &&
           (dataInPlace ? ReportInPlace(*cab, status, dc, copied, total)
                        : CopyTempFile(cab, *file, cab->files[CABINET_DATA], status, copied, total));
}

}  // namespace

void ResetHeader(CabinetState* cab) {
    std::memset(&cab->header, 0, sizeof cab->header);
    std::memcpy(cab->header.signature, CAB_SIGNATURE_PLACEHOLDER, sizeof CAB_SIGNATURE_PLACEHOLDER);
    cab->header.versionMinor = static_cast<uint8_t>(CAB_VERSION & 0xFF);
    cab->header.versionMajor = static_cast<uint8_t>(CAB_VERSION >> 8);
}

uint32_t HeaderBytes(const CabinetState& cab) {
    uint32_t h = cab.headerSizeWithoutNames;
    if (cab.prevCabinetName[0] != '\0') h += NameLength(cab.prevCabinetName) + NameLength(cab.prevDiskName) + 2;
    if (cab.nextCabinetName[0] != '\0') h += NameLength(cab.nextCabinetName) + NameLength(cab.nextDiskName) + 2;
    return h;
}

void CurrentCabinetPath(const CabinetState& cab, char* path) {
    CopyName(path, cab.current.cabinetPath);
    CopyName(path + NameLength(path), cab.current.cabinetName);
}

bool WriteCabinet(CabinetState* cab, FCIStatusFn status, uint32_t* copied, uint32_t total) {
    const FciIo& io = *cab->io;
    char path[CABINET_PATH_SIZE];
    CurrentCabinetPath(*cab, path);

    // The data area must start where the header and the two tables end.
    const uint32_t dataAreaStart = HeaderBytes(*cab) + cab->files[CABINET_FOLDERS].size + cab->files[CABINET_FILES].size;
    OutputCabinet file{&io, -1};
    if (cab->directDataOffset != 0 && !TakeDirectData(cab, dataAreaStart, &file.handle)) return false;
    const bool dataInPlace = file.handle != -1;
    int32_t error = 0;
    if (!dataInPlace) file.handle = io.open(path, FCI_OPEN_CABINET_FLAGS, FCI_OPEN_MODE, &error, io.clientContext);
    if (file.handle == -1) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        return false;
    }
    uint8_t* folderRecord = static_cast<uint8_t*>(io.alloc(cab->folderRecordSize));
    uint32_t fileSize = 0;
    bool ok = folderRecord != nullptr;
    if (!ok) RecordError(io, FCIERR_NO_MEMORY, 0);
    ok = ok && WriteContents(cab, &file, folderRecord, dataInPlace, status, copied, total) &&
         SealCabinet(cab, &file, &fileSize);
    if (folderRecord != nullptr) io.free(folderRecord);
    if (!ok) {
        // The failure is what the client sees, not what the cleanup reports.
        const ErrorRecord saved = *io.errors;
        // Nothing here was closed successfully, so the file is incomplete.
        if (file.handle != -1) io.close(file.handle, &error, io.clientContext);
        io.remove(path, &error, io.clientContext);
        *io.errors = saved;
        return false;
    }

    TempFile* files = cab->files;
    if (!CloseAndDeleteTempFiles(io, files, CABINET_FILE_COUNT) ||
        !CreateTempFiles(io, files, CABINET_FILE_COUNT))
        return false;

    const int32_t adjustment =
        status == nullptr ? 0 : status(FCI_STATUS_CABINET, cab->lastEstimate, fileSize, io.clientContext);
    if (adjustment == -1) {
        RecordError(io, FCIERR_ABORT, 0);
        return false;
    }
    const int64_t lowered = static_cast<int64_t>(cab->current.maxCabinetSize) - adjustment;
    cab->current.maxCabinetSize =
        lowered < 0 ? 0 : lowered > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(lowered);
    ResetHeader(cab);
    return true;
}

}  // namespace treepak
