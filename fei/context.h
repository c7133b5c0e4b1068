// The reader context and the helpers shared by the engine's files. The
// context is allocated through the client's alloc callback, so it is a plain
// record: no constructors, every field set before it is read.
#pragma once

#include <cstdint>

#include "cabinet/format.h"
#include "cabinet/records.h"
#include "fei/fei.h"

namespace treepak {

// Sizes of the engine's fields that hold a "not known yet" or "none" mark.
inline constexpr uint32_t FEI_SIZE_UNKNOWN = 0xFFFF;
inline constexpr uint32_t FEI_NO_FOLDER = 0xFFFF;
inline constexpr int FEI_NO_HANDLE = -1;

struct FEIContext {
    ErrorRecord* error;
    FEIFreeFn free;
    FEIAllocFn alloc;
    FEIOpenFn open;
    FEIReadFn read;
    FEIWriteFn write;
    FEICloseFn close;
    FEISeekFn seek;
    int32_t cpuType;

    FEINotifyFn notify;
    FEIHookFn hook;
    uint32_t firstFolderEntryOffset;
    void* decoder;
    void* userContext;

    uint8_t* compressedBuffer;
    uint8_t* uncompressedBuffer;
    uint8_t* folderEntry;  // one CFFOLDER with its reserve
    uint8_t* dataHeader;   // one CFDATA header with its reserve
    uint8_t* headerReserve;

    uint8_t header[CFHEADER_SIZE];  // the current cabinet's fixed header bytes
    CFHEADER cabinet;               // the same, decoded
    CFFILE file;                    // the current file entry

    int dataHandle;
    int fileTableHandle;
    int outputHandle;
    uint32_t currentFolder;
    uint32_t uncompressedBufferSize;
    uint32_t compressedBufferSize;
    uint32_t continuing;
    uint32_t headerReserveSize;
    uint32_t folderEntrySize;
    uint32_t dataHeaderSize;
    uint16_t filesLeft;
    uint16_t continuedFilesPassed;
    uint16_t blocksLeft;
    uint16_t compressionType;

    // Folder-stream offset of the block in the uncompressed buffer; 64 bits
    // so that a long chain of continued cabinets cannot wrap it.
    uint64_t blockStart;
    // The block now held: its uncompressed size (0 before a folder's first
    // block) and the compressed bytes received for it, all pieces together.
    uint32_t blockSize;
    uint32_t blockCompressedSize;
    // Whether the current cabinet carried the reserve-size fields, and
    // whether the header reserve size has been learnt from a cabinet.
    bool cabinetHasReserve;
    bool headerReserveKnown;

    char fileName[FEI_NAME_BUFFER_SIZE];
    char prevCabinetName[FEI_NAME_BUFFER_SIZE];
    char prevDiskName[FEI_NAME_BUFFER_SIZE];
    char nextCabinetName[FEI_NAME_BUFFER_SIZE];
    char nextDiskName[FEI_NAME_BUFFER_SIZE];
    char cabinetPath[FEI_NAME_BUFFER_SIZE];
    char fullPath[FEI_NAME_BUFFER_SIZE];

    FEINotification notification;
    FEIHookRecord hookRecord;
};

// Records a failure in the client's error record; always returns 0 so that
// callers can write `return FeiFail(...)`.
int FeiFail(FEIContext* context, int errorCode, int systemError = 0);

// Sends a notification; a reply of -1 records FEIERR_ABORT. The reply is
// stored in *reply when it is not null. Returns 0 after an abort.
int FeiNotify(FEIContext* context, int kind, int* reply);

// Calls the hook, if any, with the record prepared in the context; -1
// records FEIERR_ABORT. Returns 0 after an abort.
int FeiCallHook(FEIContext* context, int kind);

// Cabinet files (cabinet_open.cpp).
int FeiOpenCabinet(FEIContext* context, const char* name, bool checkIdentity,
                   uint16_t expectedSetId, uint32_t expectedIndex);
// Closes both cabinet handles if open; fails with FEIERR_CORRUPT when a close
// reports an error (both handles are marked closed either way).
int FeiCloseCabinet(FEIContext* context);
int FeiReadName(FEIContext* context, char* buffer);

// Folders and data blocks (folder_reader.cpp, block_reader.cpp).
int FeiLoadFolder(FEIContext* context, uint32_t folderIndex);
int FeiReadNextBlock(FEIContext* context);
int FeiMoveToNextCabinet(FEIContext* context);

// Reads the 16 fixed bytes and the name of the next file entry through the
// file-table handle.
int FeiReadFileEntry(FEIContext* context, CFFILE* file, char* name);

// Copies a cabinet path into a name buffer; false when it does not fit.
bool FeiCopyPath(char* buffer, const char* path);
// Fills the notification with the current file entry (extract.cpp).
void FeiFillFileNotification(FEIContext* context);

// Closes both cabinet handles without judging the result (end of FEIExtract).
void FeiReleaseCabinet(FEIContext* context);

}  // namespace treepak
