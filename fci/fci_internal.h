// Internal records of the writer engine: the temporary-file record, the
// folder and cabinet states held by the context, and the helpers the
// engine's files share. Clients see only fci/fci.h.
#pragma once

#include <cstdint>

#include "cabinet/block_digest.h"
#include "cabinet/format.h"
#include "cabinet/records.h"
#include "compress/compressor.h"
#include "fci/fci.h"

namespace treepak {

// Attempts at creating one temporary file before giving up; each attempt
// asks the client for a fresh name.
inline constexpr int FCI_TEMP_ATTEMPTS = 11;
// Piece size for copying the file table and data area into the cabinet.
inline constexpr uint32_t FCI_COPY_BUFFER_SIZE = 32768;
// Reserve areas are written from a zero buffer of this size, piece by piece.
inline constexpr uint32_t FCI_ZERO_BUFFER_SIZE = 256;

// The client's callbacks and error record, shared by both states.
struct FciIo {
    FCIAllocFn alloc;
    FCIFreeFn free;
    FCIOpenFn open;
    FCIReadFn read;
    FCIWriteFn write;
    FCICloseFn close;
    FCISeekFn seek;
    FCIDeleteFn remove;
    FCIGetTempFileFn getTempFile;
    ErrorRecord* errors;
    void* clientContext;
};

struct TempFile {
    uint32_t size;    // bytes written so far
    int32_t handle;   // -1 while not open
    char name[FCI_NAME_SIZE];
};

// The open folder: its compressor, its two temporary files and the block
// being filled. While a folder is being placed, the part that goes on to the
// next cabinet is written into a fresh pair of files, which then take the
// place of the first pair; both pairs live here so that a failure part-way
// leaves nothing that FCIDestroy cannot delete.
enum FolderFile {
    FOLDER_DATA = 0,
    FOLDER_ENTRIES = 1,
    FOLDER_NEW_DATA = 2,
    FOLDER_NEW_ENTRIES = 3,
    FOLDER_FILE_COUNT = 4
};
inline constexpr int FOLDER_PAIR = 2;

struct FolderState {
    const FciIo* io;
    FCIStatusFn status;  // of the running operation
    void* compressor;
    uint16_t compressionType;  // COMPRESS_UNSET until the first FCIAddFile
    TempFile files[FOLDER_FILE_COUNT];
    uint8_t* input;            // blockSize bytes
    uint8_t* output;           // outputCapacity bytes
    uint32_t blockSize;
    uint32_t outputCapacity;
    uint32_t waiting;          // bytes in input, always below blockSize between calls
    uint32_t uncompressedTotal;  // folderOffset of the next file
    uint32_t dataHeaderSize;     // CFDATA header with its reserve
    uint32_t heldBack;           // compressed bytes the LZX compressor still holds
    // Set when the LZX output callback failed; the compressor does not look
    // at the callback's result, so the engine checks this after each call.
    bool lzxOutputFailed;

    // The client's block memo (see FCISetBlockMemo); a block-deflate folder
    // with a memo compresses through a block coder instead of compressor.
    FCIBlockMemo memo;
    FCIBlockCoder* coder;

    // The client's search jobs for LZX folders (see FCISetLzxSearchJobs):
    // lzxFolders counts the LZX folders that received data, lzxOffset is
    // the folder offset of the next block the LZX compressor takes.
    FCILzxSearchLookupFn lzxLookup;
    void* lzxLookupContext;
    uint32_t lzxFolders;
    uint32_t lzxOffset;
};

enum CabinetFile { CABINET_DATA = 0, CABINET_FILES = 1, CABINET_FOLDERS = 2, CABINET_FILE_COUNT = 3 };

struct CabinetState {
    const FciIo* io;
    FCIFilePlacedFn filePlaced;
    TempFile files[CABINET_FILE_COUNT];
    CabParams current;
    CabParams next;
    CFHEADER header;
    uint8_t zeros[FCI_ZERO_BUFFER_SIZE];
    char entryName[FCI_NAME_SIZE];
    // Sizes fixed at creation from the first cabinet's reserve sizes.
    bool reservePresent;
    uint32_t headerReserveSize;
    uint32_t folderReserveSize;
    uint32_t dataReserveSize;
    uint32_t headerSizeWithoutNames;  // H0
    uint32_t folderRecordSize;        // Hf
    uint32_t dataHeaderSize;          // Hd
    uint16_t folderIndex;             // of the open folder within the cabinet
    uint16_t setId;
    uint16_t cabinetsWritten;
    char prevCabinetName[FCI_NAME_SIZE];
    char prevDiskName[FCI_NAME_SIZE];
    char savedCabinetName[FCI_NAME_SIZE];
    char savedDiskName[FCI_NAME_SIZE];
    char nextCabinetName[FCI_NAME_SIZE];
    char nextDiskName[FCI_NAME_SIZE];
    uint32_t lastEstimate;  // last size estimate given to FCIGetNextCabinet
    // The client's expected data-area offset (FCISetDataAreaOffset), and
    // while files[CABINET_DATA] is the cabinet file itself, the offset its
    // data blocks start at (0 otherwise).
    FCIDataAreaOffsetFn expectedDataOffset;
    uint32_t directDataOffset;
};

struct FCIContext {
    CabinetState cabinet;
    FolderState folder;
    FciIo io;
};

// Errors and small helpers (fci_errors.cpp).
void RecordError(const FciIo& io, int32_t code, int32_t systemError);
// Calls the status callback (if any); false (with FCIERR_ABORT) on -1.
bool ReportStatus(const FciIo& io, FCIStatusFn status, uint32_t kind, uint32_t size1,
                  uint32_t size2);
// Copies a client string into a name buffer, cutting it to 255 characters.
void CopyName(char* dest, const char* source);
uint32_t NameLength(const char* name);

// Temporary files (fci_temp_files.cpp).
void MarkClosed(TempFile* files, int count);
bool CreateTempFiles(const FciIo& io, TempFile* files, int count);
bool CloseAndDeleteTempFiles(const FciIo& io, TempFile* files, int count);
bool WriteTemp(const FciIo& io, TempFile* file, const void* bytes, uint32_t count);
bool WriteTempString(const FciIo& io, TempFile* file, const char* text);
bool SeekTemp(const FciIo& io, const TempFile& file, uint32_t position);
// Reads until count bytes arrived or the file ends; returns the bytes read,
// or -1 (FCIERR_TEMP_FILE recorded) on a failed read.
int64_t ReadTemp(const FciIo& io, const TempFile& file, void* bytes, uint32_t count);

// Compressor dispatch (fci_compressor.cpp).
bool ReplaceCompressor(FolderState* folder, uint16_t newType);
// The waiting block's record data: *bytes points at them (into the input
// buffer for stored data).
bool CompressStoredOrDeflate(FolderState* folder, const uint8_t** bytes, uint32_t* compressedSize);
bool CompressLzxBlock(FolderState* folder, uint32_t inputSize);
bool FlushLzx(FolderState* folder);
bool ResetCompressor(FolderState* folder);

// The open folder (fci_folder.cpp).
int LzxBlockOutput(void* folderState, const uint8_t* bytes, uint32_t compressedSize,
                   uint32_t uncompressedSize);
bool InitFolder(FolderState* folder, const FciIo* io, uint32_t dataReserveSize);
bool AddFileToFolder(FolderState* folder, const char* sourcePath, const char* nameInCabinet,
                     int32_t execute, FCIStatusFn status, FCIGetOpenInfoFn getOpenInfo);
bool FinishFolder(FolderState* folder, FCIStatusFn status);
// Compressed bytes of the folder so far: its data file and what LZX holds.
uint32_t FolderCompressedBytes(const FolderState& folder);

// Placing folders and writing cabinets (fci_place.cpp, fci_cabinet_write.cpp).
bool InitCabinet(CabinetState* cabinet, const FciIo* io, FCIFilePlacedFn filePlaced,
                 const CabParams& params);
bool PlaceFolder(CabinetState* cabinet, FolderState* folder, bool force,
                 FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status);
bool WriteCabinet(CabinetState* cabinet, FCIStatusFn status, uint32_t* copied, uint32_t total);
void ResetHeader(CabinetState* cabinet);
// Room for cabinetPath immediately followed by cabinetName.
inline constexpr uint32_t CABINET_PATH_SIZE = 2 * FCI_NAME_SIZE;
void CurrentCabinetPath(const CabinetState& cabinet, char* path);
// The header's size with its reserve fields and the prev/next names.
uint32_t HeaderBytes(const CabinetState& cabinet);

// The data area written straight into the cabinet file (fci_direct_data.cpp).
// Before a cabinet's first data block: opens the cabinet file at the
// client's expected offset when it gave one (false only on a failed seek
// or a failed removal of the empty data file).
bool StartDirectData(CabinetState* cabinet);
// When the cabinet is written: takes the cabinet file's handle over from
// the data file, with the data area where `dataAreaStart` says; when it is
// elsewhere, it moves into a fresh temporary file and *handle is -1.
bool TakeDirectData(CabinetState* cabinet, uint32_t dataAreaStart, int32_t* handle);

}  // namespace treepak
