// The writer engine's five operations and the context they share.
#include <cstring>

#include "fci/fci_internal.h"

namespace treepak {

namespace {

bool ReservesFit(const CabParams& params) {
    return params.headerReserveSize <= CAB_MAX_HEADER_RESERVE &&
           params.folderReserveSize <= CAB_MAX_ITEM_RESERVE &&
           params.dataReserveSize <= CAB_MAX_ITEM_RESERVE;
}

// Closes the open folder into the cabinet without ending the cabinet.
bool FlushFolder(FCIContext* context, FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status) {
    return PlaceFolder(&context->cabinet, &context->folder, false, getNextCabinet, status);
}

}  // namespace

bool InitCabinet(CabinetState* cab, const FciIo* io, FCIFilePlacedFn filePlaced,
                 const CabParams& params) {
    cab->io = io;
    cab->filePlaced = filePlaced;
    ResetHeader(cab);
    cab->folderIndex = 0;
    cab->current = params;
    cab->setId = params.setId;
    cab->cabinetsWritten = 0;
    cab->headerReserveSize = params.headerReserveSize;
    cab->folderReserveSize = params.folderReserveSize;
    cab->dataReserveSize = params.dataReserveSize;
    cab->reservePresent = params.headerReserveSize != 0 || params.folderReserveSize != 0 ||
                          params.dataReserveSize != 0;
    cab->headerSizeWithoutNames =
        CFHEADER_SIZE +
        (cab->reservePresent ? CFHEADER_RESERVE_FIELDS_SIZE + params.headerReserveSize : 0);
    cab->folderRecordSize = CFFOLDER_SIZE + params.folderReserveSize;
    cab->dataHeaderSize = CFDATA_SIZE + params.dataReserveSize;
    if (cab->current.maxCabinetSize == 0) cab->current.maxCabinetSize = FCI_DEFAULT_MAX_CABINET;
    return CreateTempFiles(*io, cab->files, CABINET_FILE_COUNT);
}

}  // namespace treepak

FCIContext* FCICreate(ErrorRecord* errorRecord, FCIFilePlacedFn filePlaced, FCIAllocFn alloc,
                      FCIFreeFn free, FCIOpenFn open, FCIReadFn read, FCIWriteFn write,
                      FCICloseFn close, FCISeekFn seek, FCIDeleteFn remove,
                      FCIGetTempFileFn getTempFile, const CabParams* params,
                      void* clientContext) {
    using namespace treepak;
    if (errorRecord == nullptr) return nullptr;
    FciIo io{alloc, free, open, read, write, close, seek, remove, getTempFile, errorRecord,
             clientContext};
    if (params == nullptr || alloc == nullptr || free == nullptr || open == nullptr ||
        read == nullptr || write == nullptr || close == nullptr || seek == nullptr ||
        remove == nullptr || getTempFile == nullptr) {
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return nullptr;
    }
    // The reserve-size fields are 16 and 8 bits wide; larger sizes would be
    // written wrong.
    if (!ReservesFit(*params)) {
        RecordError(io, FCIERR_CABINET_FILE, 0);
        return nullptr;
    }
    auto* context = static_cast<FCIContext*>(alloc(sizeof(FCIContext)));
    if (context == nullptr) {
        RecordError(io, FCIERR_NO_MEMORY, 0);
        return nullptr;
    }
    std::memset(context, 0, sizeof *context);
    context->io = io;
    // Mark every temporary file closed first, so that a failed creation
    // below leaves a context FCIDestroy can take apart.
    MarkClosed(context->folder.files, FOLDER_FILE_COUNT);
    MarkClosed(context->cabinet.files, CABINET_FILE_COUNT);
    context->folder.io = &context->io;
    context->cabinet.io = &context->io;
    context->folder.compressionType = COMPRESS_UNSET;
    if (!InitFolder(&context->folder, &context->io, params->dataReserveSize) ||
        !InitCabinet(&context->cabinet, &context->io, filePlaced, *params)) {
        const ErrorRecord saved = *errorRecord;
        FCIDestroy(context);
        *errorRecord = saved;
        return nullptr;
    }
    return context;
}

int FCIAddFile(FCIContext* context, const char* sourcePath, const char* nameInCabinet,
               int32_t execute, FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status,
               FCIGetOpenInfoFn getOpenInfo, uint16_t compressionType) {
    using namespace treepak;
    if (context == nullptr) return 0;
    const FciIo& io = context->io;
    FolderState* folder = &context->folder;
    CabinetState* cab = &context->cabinet;
    // Names are read back from the temporary files into 256-byte buffers.
    if (sourcePath == nullptr || nameInCabinet == nullptr || getOpenInfo == nullptr ||
        std::strlen(nameInCabinet) >= FCI_NAME_SIZE) {
        RecordError(io, FCIERR_TEMP_FILE, 0);
        return 0;
    }
    if (compressionType != folder->compressionType) {
        if (!FlushFolder(context, getNextCabinet, status) ||
            !ReplaceCompressor(folder, compressionType))
            return 0;
    }
    if (!AddFileToFolder(folder, sourcePath, nameInCabinet, execute, status, getOpenInfo))
        return 0;

    const uint32_t compressed = FolderCompressedBytes(*folder);
    const uint32_t estimate = folder->files[FOLDER_ENTRIES].size + cab->headerSizeWithoutNames +
                              cab->files[CABINET_FILES].size + cab->folderRecordSize +
                              cab->files[CABINET_FOLDERS].size + cab->files[CABINET_DATA].size +
                              compressed;
    if (compressed > cab->current.folderThreshold || estimate > cab->current.maxCabinetSize)
        return FlushFolder(context, getNextCabinet, status) ? 1 : 0;
    return 1;
}

int FCIFlushFolder(FCIContext* context, FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status) {
    using namespace treepak;
    if (context == nullptr) return 0;
    return FlushFolder(context, getNextCabinet, status) ? 1 : 0;
}

int FCIFlushCabinet(FCIContext* context, int32_t getNext, FCIGetNextCabinetFn getNextCabinet,
                    FCIStatusFn status) {
    using namespace treepak;
    if (context == nullptr) return 0;
    CabinetState* cab = &context->cabinet;
    if (!PlaceFolder(cab, &context->folder, getNext != 0, getNextCabinet, status)) return 0;
    if (getNext != 0) return 1;
    uint32_t copied = 0;
    const uint32_t total = cab->files[CABINET_FILES].size + cab->files[CABINET_DATA].size;
    return WriteCabinet(cab, status, &copied, total) ? 1 : 0;
}

int FCIDestroy(FCIContext* context) {
    using namespace treepak;
    if (context == nullptr) return 0;
    const FciIo io = context->io;
    bool ok = true;
    FolderState* folder = &context->folder;
    if (folder->io != nullptr) {
        ReplaceCompressor(folder, COMPRESS_UNSET);
        ok = CloseAndDeleteTempFiles(io, folder->files, FOLDER_FILE_COUNT) && ok;
    }
    if (context->cabinet.io != nullptr)
        ok = CloseAndDeleteTempFiles(io, context->cabinet.files, CABINET_FILE_COUNT) && ok;
    io.free(context);
    return ok ? 1 : 0;
}
