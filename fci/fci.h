// The cabinet writer engine: builds one cabinet, or a chained set of them,
// from files handed to it one at a time. It does no file, memory or console
// work of its own; every allocation, file operation, temporary-file name,
// progress report and next-cabinet decision goes through the client's
// callbacks, each of which gets the client's context pointer last.
//
// Calling order: FCICreate; any number of FCIAddFile and FCIFlushFolder;
// FCIFlushCabinet; FCIDestroy. Operations return 1 on success and 0 on
// failure (FCICreate: null), with the reason in the client's ErrorRecord;
// after a failure the context is fit only for FCIDestroy.
#pragma once

#include <cstdint>

#include "cabinet/block_digest.h"
#include "cabinet/client_callbacks.h"
#include "cabinet/error_record.h"

// Size of every name buffer the engine and its client exchange: at most 255
// characters and the NUL.
inline constexpr uint32_t FCI_NAME_SIZE = 256;

// Parameters of one cabinet, filled by the client for the first cabinet and
// by FCIGetNextCabinet for each further one. The three reserve sizes are
// taken once, from the first cabinet's parameters, and hold for the whole
// set; sizes that do not fit their 16- and 8-bit fields make FCICreate fail
// with FCIERR_CABINET_FILE.
struct CabParams {
    uint32_t maxCabinetSize;     // size limit of the cabinet file; 0 means FCI_DEFAULT_MAX_CABINET
    uint32_t folderThreshold;    // close the folder once its compressed bytes exceed this
    uint32_t headerReserveSize;  // bytes of headerReserve (fits 16 bits)
    uint32_t folderReserveSize;  // bytes of every folderReserve (fits 8 bits)
    uint32_t dataReserveSize;    // bytes of every dataReserve (fits 8 bits)
    int32_t cabinetNumber;       // the client's number; FCIGetNextCabinet gets it one higher
    int32_t diskNumber;          // only compared: equal numbers share the lowered size limit
    int32_t failOnIncompressible;  // kept, no effect
    uint16_t setId;              // written into every CFHEADER of the set
    char diskName[FCI_NAME_SIZE];
    char cabinetName[FCI_NAME_SIZE];  // file name; becomes prev/next name of the neighbours
    char cabinetPath[FCI_NAME_SIZE];  // directory prefix with its own trailing separator
};

// The limit used when maxCabinetSize is 0 (seven hex digits).
inline constexpr uint32_t FCI_DEFAULT_MAX_CABINET = 0x7FFFFFF;

// Error codes recorded in ErrorRecord::errorCode. FCIERR_CABINET_FILE also
// stands for a cabinet the engine refuses to write wrong: more than 65535
// folders, files or data blocks in one cabinet, more than 65535 cabinets in
// a set, or a maxCabinetSize too small to take any data block even into an
// otherwise empty cabinet.
inline constexpr int32_t FCIERR_NONE = 0;
inline constexpr int32_t FCIERR_OPEN_SOURCE = 1;
inline constexpr int32_t FCIERR_READ_SOURCE = 2;
inline constexpr int32_t FCIERR_NO_MEMORY = 3;
inline constexpr int32_t FCIERR_TEMP_FILE = 4;
inline constexpr int32_t FCIERR_COMPRESSION_TYPE = 5;
inline constexpr int32_t FCIERR_CABINET_FILE = 6;
inline constexpr int32_t FCIERR_ABORT = 7;
inline constexpr int32_t FCIERR_COMPRESS = 8;

// The console text of an error code; "Unknown error" for any other value.
const char* FCIErrorText(int32_t code);

// Kinds of FCIStatus reports.
//   FCI_STATUS_FILE:    size1 = compressed bytes produced, size2 = uncompressed
//                       bytes consumed, since the previous report.
//   FCI_STATUS_FOLDER:  size1 = bytes copied so far, size2 = total expected.
//   FCI_STATUS_CABINET: size1 = estimate given to FCIGetNextCabinet, size2 =
//                       actual size of the finished cabinet file; a result
//                       other than -1 is subtracted from the current
//                       maxCabinetSize.
inline constexpr uint32_t FCI_STATUS_FILE = 0;
inline constexpr uint32_t FCI_STATUS_FOLDER = 1;
inline constexpr uint32_t FCI_STATUS_CABINET = 2;

// Open flags and permission mode the engine passes to FCIOpen (values of
// cabinet/client_callbacks.h; FCISeek gets its IO_SEEK_* origins).
// Temporary files: binary, create, fail if it exists, read and write.
inline constexpr int32_t FCI_OPEN_TEMP_FLAGS =
    IO_OPEN_BINARY | IO_OPEN_EXCLUSIVE | IO_OPEN_CREATE | IO_OPEN_READ_WRITE;  // 0x8502
// The cabinet file: binary, create, truncate, read and write.
inline constexpr int32_t FCI_OPEN_CABINET_FLAGS =
    IO_OPEN_BINARY | IO_OPEN_TRUNCATE | IO_OPEN_CREATE | IO_OPEN_READ_WRITE;  // 0x8302
inline constexpr int32_t FCI_OPEN_MODE = IO_MODE_READ | IO_MODE_WRITE;  // 0x0180

// Client callbacks. The allocator and its release are FCIAllocFn and FCIFreeFn of
// cabinet/client_callbacks.h (they take no context). Callbacks that can fail get
// an error out-parameter (a system error value the engine copies into
// systemError) just before the context. Handles are signed 32-bit; -1 is
// failure throughout, and from FCIFilePlaced, FCIGetNextCabinet and
// FCIStatus it means "abort".
using FCIOpenFn = int32_t (*)(const char* path, int32_t openFlags, int32_t mode, int32_t* error,
                              void* context);
using FCIReadFn = int32_t (*)(int32_t handle, void* buffer, uint32_t count, int32_t* error,
                              void* context);  // bytes read, 0 at end, -1 on failure
using FCIWriteFn = int32_t (*)(int32_t handle, const void* buffer, uint32_t count,
                               int32_t* error, void* context);  // anything but count fails
using FCICloseFn = int32_t (*)(int32_t handle, int32_t* error, void* context);  // 0 on success
using FCISeekFn = int32_t (*)(int32_t handle, int32_t offset, int origin, int32_t* error,
                              void* context);  // new position or -1
using FCIDeleteFn = int32_t (*)(const char* path, int32_t* error, void* context);  // -1 fails
// Non-zero when a name of a file that does not exist yet was put into the
// buffer (bufferSize is always FCI_NAME_SIZE).
using FCIGetTempFileFn = int32_t (*)(char* buffer, int32_t bufferSize, void* context);
// Called once for every CFFILE put into a cabinet; continuation is non-zero
// for an entry carried over from the previous cabinet.
using FCIFilePlacedFn = int32_t (*)(CabParams* current, const char* nameInCabinet,
                                    uint32_t fileSize, int32_t continuation, void* context);
// Gets a copy of the current parameters with cabinetNumber one higher and
// sets at least cabinetName for the next cabinet.
using FCIGetNextCabinetFn = int32_t (*)(CabParams* next, uint32_t estimatedSize, void* context);
using FCIStatusFn = int32_t (*)(uint32_t kind, uint32_t size1, uint32_t size2, void* context);
// Opens a source file for reading and reports its packed DOS date, time and
// attribute word; returns the handle or -1.
using FCIGetOpenInfoFn = int32_t (*)(const char* sourcePath, uint16_t* date, uint16_t* time,
                                     uint16_t* attributes, int32_t* error, void* context);

// The engine's context; opaque to clients.
namespace treepak {
struct FCIContext;
}  // namespace treepak
using treepak::FCIContext;

FCIContext* FCICreate(ErrorRecord* errorRecord, FCIFilePlacedFn filePlaced, FCIAllocFn alloc,
                      FCIFreeFn free, FCIOpenFn open, FCIReadFn read, FCIWriteFn write,
                      FCICloseFn close, FCISeekFn seek, FCIDeleteFn remove,
                      FCIGetTempFileFn getTempFile, const CabParams* params, void* clientContext);

// Adds one file to the open folder; a non-zero execute flag sets
// FILE_ATTR_EXECUTE in its entry. A type word different from the open
// folder's closes that folder first.
int FCIAddFile(FCIContext* context, const char* sourcePath, const char* nameInCabinet,
               int32_t execute, FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status,
               FCIGetOpenInfoFn getOpenInfo, uint16_t compressionType);

// Closes the open folder and moves it into the cabinet.
int FCIFlushFolder(FCIContext* context, FCIGetNextCabinetFn getNextCabinet, FCIStatusFn status);

// Closes the open folder and finishes the current cabinet. With getNext 0
// the cabinet is written as the last of its set; with getNext non-zero and a
// non-empty folder the cabinet ends after that folder and a further one is
// started.
int FCIFlushCabinet(FCIContext* context, int32_t getNext, FCIGetNextCabinetFn getNextCabinet,
                    FCIStatusFn status);

// Memo of compressed blocks, kept by the client across contexts and shared
// with the client's worker threads. Only block-deflate folders use it. A
// block's compressed form, and the prime token it leaves (DeflatePrimeToken),
// are a pure function of the type word, the block's bytes and, when the
// block before it in its folder was a full one, that block's bytes and
// prime token; the key's digest stands for exactly these (see
// cabinet/block_digest.h). Before compressing a block the engine looks it
// up; a hit (1) puts its compressed bytes into output (at most capacity)
// and returns the prime token stored with them, and the compressor is not
// run. Every block the engine does compress is offered to store together
// with its prime token. Reports, records and checksums are the same either
// way; the compressor is brought up to date before the next block it
// compresses. Lookups and stores may come from several threads at once when
// the client runs block coders of its own.
struct FCIBlockKey {
    uint16_t compressionType;
    uint32_t uncompressedSize;
    uint64_t digest[2];
};
using FCIBlockLookupFn = int32_t (*)(const FCIBlockKey* key, void* output, uint32_t capacity,
                                     uint32_t* compressedSize, uint32_t* primeToken,
                                     void* memoContext);  // 1 hit, 0 miss
using FCIBlockStoreFn = void (*)(const FCIBlockKey* key, const void* compressed, uint32_t size,
                                 uint32_t primeToken, void* memoContext);

// chainStart seeds every digest the keys are made of: a secret random
// start per memo keeps keys unpredictable, so blocks crafted to collide
// under one start do not collide under the memo's.
struct FCIBlockMemo {
    FCIBlockLookupFn lookup;
    FCIBlockStoreFn store;
    treepak::BlockDigest chainStart;
    void* context;
};

// Sets the memo for every folder of the context. Only before the first
// FCIAddFile; returns 0 (nothing recorded) when called later or with only
// one of the two functions.
int FCISetBlockMemo(FCIContext* context, FCIBlockLookupFn lookup, FCIBlockStoreFn store,
                    const treepak::BlockDigest& chainStart, void* memoContext);

// A block coder: what the engine does with each block of a block-deflate
// folder that has a memo, for a client that compresses blocks ahead of the
// engine on threads of its own (one coder per thread). Blocks go in folder
// order, each at most CAB_BLOCK_SIZE bytes, every one but a folder's last
// exactly CAB_BLOCK_SIZE; every block passes through the memo, so the engine
// later finds the ones a coder compressed. The coder allocates through
// alloc and free only, does no I/O, and keeps nothing between calls but its
// own state.
namespace treepak {
struct FCIBlockCoder;
}  // namespace treepak
using treepak::FCIBlockCoder;
// Null when the type word is not block deflate, the memo lacks a function,
// or memory ran out.
FCIBlockCoder* FCICreateBlockCoder(uint16_t compressionType, FCIAllocFn alloc, FCIFreeFn free,
                                   const FCIBlockMemo* memo);
// The next block of the folder, from the memo or compressed (and stored);
// *compressed points into the coder and stays valid until its next call.
// 1, or 0 when the compressor failed (the coder is then fit only for a
// restart).
int FCIBlockCoderNext(FCIBlockCoder* coder, const uint8_t* block, uint32_t size, const uint8_t** compressed,
                      uint32_t* compressedSize);
// Starts a folder: the next block is its first.
int FCIBlockCoderRestart(FCIBlockCoder* coder);
// Starts in the middle of a folder: block is taken as the block before the
// next one. What it left in the match tables is not known, so it is
// compressed on its own to guess that (output neither returned nor
// stored); the guess is almost always right, and a wrong one costs only
// memo misses.
int FCIBlockCoderAssume(FCIBlockCoder* coder, const uint8_t* block, uint32_t size);
// Largest compressed block the coder produces.
uint32_t FCIBlockCoderCapacity(const FCIBlockCoder* coder);
void FCIDestroyBlockCoder(FCIBlockCoder* coder);

// Search jobs for LZX folders (compress/compressor.h): a client that
// searches stretches of a folder ahead of the engine, on threads of its
// own, is asked before each block of an LZX folder for the job that covers
// it: folder counts the context's LZX folders that hold data from 0, offset is the block's
// offset in the folder's uncompressed bytes. The answer is a job whose
// stretch holds offset and whose results reach past that block (the call
// may wait for them), or null. The engine takes a job only at its first
// block and only when the folder's bytes are those the job searched; the
// output is the same with or without jobs.
namespace treepak {
namespace lzxenc {
struct SearchJob;
}  // namespace lzxenc
using LzxSearchJob = lzxenc::SearchJob;
}  // namespace treepak
// The engine's LZX compressors slide their window by this much when it is
// full; a client's search jobs must be made with the same.
inline constexpr uint32_t FCI_LZX_SLIDE_AMOUNT = 65536;
using FCILzxSearchLookupFn = treepak::LzxSearchJob* (*)(uint32_t folder, uint32_t offset, void* context);
// Only before the first FCIAddFile; returns 0 (nothing recorded) when
// called later or without a function.
int FCISetLzxSearchJobs(FCIContext* context, FCILzxSearchLookupFn lookup, void* lookupContext);

// Optional: the client's expectation of how many bytes a cabinet holds in
// front of its data area (header with its reserve and names, folder table,
// file table), asked once per cabinet before its first data block goes in.
// With an answer other than 0 the engine opens the cabinet file at that
// moment (FCI_OPEN_CABINET_FLAGS, through the client's open) and writes the
// data blocks straight to that offset instead of into a temporary file, to
// be copied over at the end. Should the cabinet come out different, the
// data area is first moved into a temporary file and the cabinet is written
// as without the expectation: the file is the same either way. 0, a path
// longer than a name buffer or a failing open keep the temporary file.
using FCIDataAreaOffsetFn = uint32_t (*)(const CabParams* cabinet, void* context);

// Sets the expectation for every cabinet of the context. Only before the
// first FCIAddFile; returns 0 (nothing recorded) when called later.
int FCISetDataAreaOffset(FCIContext* context, FCIDataAreaOffsetFn expectedOffset);

// Releases everything and deletes the temporary files; 1 when every
// temporary file was closed and deleted without error.
int FCIDestroy(FCIContext* context);
