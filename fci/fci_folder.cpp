// The open folder: source files are read into one stream that is cut into
// blocks of CAB_BLOCK_SIZE uncompressed bytes regardless of file boundaries
// (a file's last partial block is continued by the next file's bytes). Each
// block becomes one CFDATA record (zero checksum; the real one is computed
// when the record is copied into a cabinet) in the folder's data file, and
// each file one CFFILE record plus its name in the folder's entry file.
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/tp_assert.h"
#include "fci/fci_internal.h"

namespace treepak {

namespace {

// A CFDATA header with the largest reserve area the 8-bit field allows.
constexpr uint32_t MAX_DATA_HEADER_SIZE = CFDATA_SIZE + CAB_MAX_ITEM_RESERVE;

void BuildDataHeader(uint8_t* header, uint32_t headerSize, uint32_t compressedSize,
                     uint32_t uncompressedSize) {
    std::memset(header, 0, headerSize);
    CFDATA record{0, static_cast<uint16_t>(compressedSize),
                  static_cast<uint16_t>(uncompressedSize)};
    EncodeData(record, header);
}

// Compresses the waiting bytes of a stored or deflate folder into one
// record; does nothing when no bytes are waiting.
bool EmitWaitingBlock(FolderState* folder) {
    if (folder->waiting == 0) return true;
    const FciIo& io = *folder->io;
    uint32_t compressedSize = 0;
    const uint8_t* bytes = nullptr;
    if (!CompressStoredOrDeflate(folder, &bytes, &compressedSize)) return false;
    uint8_t header[MAX_DATA_HEADER_SIZE];
    BuildDataHeader(header, folder->dataHeaderSize, compressedSize, folder->waiting);
    TempFile* data = &folder->files[FOLDER_DATA];
    if (!WriteTemp(io, data, header, folder->dataHeaderSize) ||
        !WriteTemp(io, data, bytes, compressedSize))
        return false;
    if (!ReportStatus(io, folder->status, FCI_STATUS_FILE, compressedSize, folder->waiting))
        return false;
    folder->waiting = 0;
    return true;
}

// A full input buffer goes to the compressor at once.
bool TakeFullBlock(FolderState* folder) {
    if (CompressKind(folder->compressionType) != COMPRESS_LZX) return EmitWaitingBlock(folder);
    if (!CompressLzxBlock(folder, folder->waiting)) return false;
    if (!ReportStatus(*folder->io, folder->status, FCI_STATUS_FILE, 0, folder->waiting))
        return false;
    folder->waiting = 0;
    return true;
}

bool ReadSource(FolderState* folder, int32_t source) {
    const FciIo& io = *folder->io;
    for (;;) {
        TP_ASSERT(folder->waiting < folder->blockSize);
        const uint32_t room = folder->blockSize - folder->waiting;
        int32_t error = 0;
        const int32_t n =
            io.read(source, folder->input + folder->waiting, room, &error, io.clientContext);
        if (n == 0) return true;
        if (n < 0 || static_cast<uint32_t>(n) > room) {
            RecordError(io, FCIERR_READ_SOURCE, error);
            return false;
        }
        folder->uncompressedTotal += static_cast<uint32_t>(n);
        folder->waiting += static_cast<uint32_t>(n);
        if (folder->waiting == folder->blockSize && !TakeFullBlock(folder)) return false;
    }
}

bool WriteFileEntry(FolderState* folder, const CFFILE& entry, const char* nameInCabinet) {
    uint8_t fixed[CFFILE_SIZE];
    EncodeFile(entry, fixed);
    TempFile* entries = &folder->files[FOLDER_ENTRIES];
    return WriteTemp(*folder->io, entries, fixed, CFFILE_SIZE) &&
           WriteTempString(*folder->io, entries, nameInCabinet);
}

}  // namespace

bool InitFolder(FolderState* folder, const FciIo* io, uint32_t dataReserveSize) {
    folder->io = io;
    folder->compressionType = COMPRESS_UNSET;
    folder->dataHeaderSize = CFDATA_SIZE + dataReserveSize;
    TP_ASSERT(folder->dataHeaderSize <= MAX_DATA_HEADER_SIZE);
    MarkClosed(folder->files, FOLDER_FILE_COUNT);
    return CreateTempFiles(*io, folder->files, FOLDER_PAIR);
}

bool AddFileToFolder(FolderState* folder, const char* sourcePath, const char* nameInCabinet,
                     int32_t execute, FCIStatusFn status, FCIGetOpenInfoFn getOpenInfo) {
    const FciIo& io = *folder->io;
    if (folder->input == nullptr) {  // the folder's compressor could not be set up
        RecordError(io, FCIERR_COMPRESS, 0);
        return false;
    }
    const uint32_t folderOffset = folder->uncompressedTotal;
    folder->status = status;

    CFFILE entry{};
    int32_t error = 0;
    const int32_t source = getOpenInfo(sourcePath, &entry.date, &entry.time, &entry.attributes,
                                       &error, io.clientContext);
    if (source == -1) {
        RecordError(io, FCIERR_OPEN_SOURCE, error);
        return false;
    }
    if (execute != 0) entry.attributes |= FILE_ATTR_EXECUTE;

    const bool read = ReadSource(folder, source);
    int32_t closeError = 0;
    io.close(source, &closeError, io.clientContext);  // a source is only read; its close cannot lose data
    if (!read) return false;

    entry.fileSize = folder->uncompressedTotal - folderOffset;
    entry.folderOffset = folderOffset;
    entry.folderIndex = 0;
    return WriteFileEntry(folder, entry, nameInCabinet);
}

int LzxBlockOutput(void* folderState, const uint8_t* bytes, uint32_t compressedSize,
                   uint32_t uncompressedSize) {
    FolderState* folder = static_cast<FolderState*>(folderState);
    const FciIo& io = *folder->io;
    if (folder->lzxOutputFailed) return 1;  // a failure is already recorded
    // Placing reads every record back into the output buffer.
    if (compressedSize > folder->outputCapacity || uncompressedSize > CAB_BLOCK_SIZE) {
        RecordError(io, FCIERR_COMPRESS, 0);
        folder->lzxOutputFailed = true;
        return 1;
    }
    uint8_t header[MAX_DATA_HEADER_SIZE];
    BuildDataHeader(header, folder->dataHeaderSize, compressedSize, uncompressedSize);
    TempFile* data = &folder->files[FOLDER_DATA];
    if (!ReportStatus(io, folder->status, FCI_STATUS_FILE, compressedSize, 0) ||
        !WriteTemp(io, data, header, folder->dataHeaderSize) ||
        !WriteTemp(io, data, bytes, compressedSize)) {
        folder->lzxOutputFailed = true;
        return 1;
    }
    return 0;
}

bool FinishFolder(FolderState* folder, FCIStatusFn status) {
    folder->status = status;
    const uint16_t kind = CompressKind(folder->compressionType);
    if (kind == COMPRESS_LZX && folder->compressor != nullptr) {
        if (folder->waiting != 0) {
            if (!ReportStatus(*folder->io, status, FCI_STATUS_FILE, 0, folder->waiting) ||
                !CompressLzxBlock(folder, folder->waiting))
                return false;
            folder->waiting = 0;
        }
        if (!FlushLzx(folder)) return false;
    } else if (kind == COMPRESS_NONE || kind == COMPRESS_DEFLATE) {
        if (!EmitWaitingBlock(folder)) return false;
    }
    if (!ResetCompressor(folder)) return false;
    folder->uncompressedTotal = 0;
    return true;
}

uint32_t FolderCompressedBytes(const FolderState& folder) {
    return folder.files[FOLDER_DATA].size + folder.heldBack;
}

}  // namespace treepak
