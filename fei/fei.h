// The cabinet reader engine: operations, client callbacks, notifications,
// hooks and error codes. The engine does no file or memory work of its own;
// everything goes through the callbacks given to FEICreate. Operations return
// 1 (or a context) on success and 0 (or null) on failure, with the reason in
// the client's ErrorRecord; the context then stays usable for another
// FEIExtract or for FEIDestroy.
#pragma once

#include <cstdint>

#include "cabinet/client_callbacks.h"
#include "cabinet/error_record.h"

// Opaque reader context, allocated through the client's FEIAlloc.
namespace treepak {
struct FEIContext;
}  // namespace treepak
using treepak::FEIContext;

// Error codes stored in ErrorRecord::errorCode.
inline constexpr int FEIERR_NONE = 0;
inline constexpr int FEIERR_OPEN_CABINET = 1;
inline constexpr int FEIERR_NOT_A_CABINET = 2;
inline constexpr int FEIERR_VERSION = 3;
inline constexpr int FEIERR_CORRUPT = 4;
inline constexpr int FEIERR_NO_MEMORY = 5;
inline constexpr int FEIERR_COMPRESSION_TYPE = 6;
inline constexpr int FEIERR_DECODE = 7;
inline constexpr int FEIERR_TARGET_FILE = 8;
inline constexpr int FEIERR_RESERVE_MISMATCH = 9;
inline constexpr int FEIERR_WRONG_CABINET = 10;
inline constexpr int FEIERR_ABORT = 11;

// Notification kinds passed to FEINotifyFn.
inline constexpr int FEI_NOTIFY_CABINET_INFO = 0;
inline constexpr int FEI_NOTIFY_CONTINUED_FILE = 1;
inline constexpr int FEI_NOTIFY_COPY_FILE = 2;
inline constexpr int FEI_NOTIFY_CLOSE_FILE = 3;
inline constexpr int FEI_NOTIFY_NEXT_CABINET = 4;
inline constexpr int FEI_NOTIFY_FILE_TABLE = 5;
// Sent only by FEIList.
inline constexpr int FEI_NOTIFY_FOLDER_ENTRY = 6;
inline constexpr int FEI_NOTIFY_FILE_ENTRY = 7;

// Hook kinds stored in FEIHookRecord::kind.
inline constexpr int FEI_HOOK_CABINET = 0;
inline constexpr int FEI_HOOK_FOLDER = 1;
inline constexpr int FEI_HOOK_DATA = 2;

// Replies of a notification or hook. ABORT stops FEIExtract (FEIERR_ABORT)
// and CONTINUE goes on; COPY_FILE answers SKIP or a handle, CLOSE_FILE
// CLOSED or CLOSE_FAILED (FEIERR_TARGET_FILE).
inline constexpr int FEI_REPLY_ABORT = -1;
inline constexpr int FEI_REPLY_CONTINUE = 0;
inline constexpr int FEI_REPLY_SKIP = 0;
inline constexpr int FEI_REPLY_CLOSED = 1;
inline constexpr int FEI_REPLY_CLOSE_FAILED = 0;

// Open flags and mode the engine passes to FEIOpen for a cabinet:
// binary read-only, owner read/write.
inline constexpr int FEI_OPEN_FLAGS = IO_OPEN_BINARY | IO_OPEN_READ_ONLY;
inline constexpr int FEI_OPEN_MODE = IO_MODE_READ | IO_MODE_WRITE;

// Name buffers of the engine (and text fields pointing at them) hold up to
// 255 characters and a NUL; a client rewriting them must stay within this.
inline constexpr uint32_t FEI_NAME_BUFFER_SIZE = 256;

// One record reused for every notification; which fields a kind sets:
//   CABINET_INFO   text1 next cabinet, text2 next disk, text3 cabinet path,
//                  userContext, setId, cabinetIndex
//   CONTINUED_FILE value size, text1 file name, text2 previous cabinet,
//                  text3 previous disk, date, time, attributes, userContext,
//                  folderIndex (raw)
//   COPY_FILE      as CONTINUED_FILE; reply -1 abort, 0 skip, else a handle
//   CLOSE_FILE     value 1 when executable, text1, handle, date, time,
//                  attributes (execute bit cleared), userContext, folderIndex;
//                  reply 0 is FEIERR_TARGET_FILE
//   NEXT_CABINET   text1/text3 the engine's next-cabinet name and path
//                  buffers (rewritable in place), text2 next disk, setId,
//                  cabinetIndex (wanted), errorCode (0, else the failed try)
//   FILE_TABLE     value position of the next entry, folderIndex entries
//                  left, setId, userContext; both may be rewritten
// CABINET_INFO also describes the header: text4 previous cabinet name,
// offset the cabinet size field, flags, and the three reserve sizes.
//   FOLDER_ENTRY   folderIndex, offset of its first data block, blockCount,
//                  compressionType (FEIList only)
//   FILE_ENTRY     as CONTINUED_FILE plus offset, the file's place in its
//                  folder (FEIList only)
struct FEINotification {
    int32_t value;
    char* text1;
    char* text2;
    char* text3;
    void* userContext;
    int32_t handle;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
    uint16_t setId;
    uint16_t cabinetIndex;
    uint16_t folderIndex;
    int32_t errorCode;
    char* text4;
    uint32_t offset;
    uint16_t flags;
    uint16_t compressionType;
    uint16_t blockCount;
    uint16_t headerReserveSize;
    uint8_t folderReserveSize;
    uint8_t dataReserveSize;
};

// Passed to the hook; the fields after reserveSize depend on the kind.
struct FEIHookRecord {
    int32_t kind;
    void* userContext;
    uint8_t* reserve;  // null when the reserve area is empty
    uint16_t reserveSize;
    // FEI_HOOK_CABINET
    uint16_t setId;
    uint32_t cabinetIndex;
    // FEI_HOOK_FOLDER
    uint16_t folderIndex;
    // FEI_HOOK_DATA: the bytes of this part (the hook may change them before
    // decoding), the block's bytes received so far with this part, whether
    // the block is whole with this part, and where this part starts in it.
    uint8_t* data;
    uint16_t dataSize;
    int32_t complete;
    uint16_t partOffset;
};

using FEINotifyFn = int (*)(int kind, FEINotification* notification);
using FEIHookFn = int (*)(FEIHookRecord* record);

// Returns a new context, or null after recording FEIERR_NO_MEMORY.
FEIContext* FEICreate(FEIAllocFn alloc, FEIFreeFn free, FEIOpenFn open, FEIReadFn read,
                      FEIWriteFn write, FEICloseFn close, FEISeekFn seek, int cpuType,
                      ErrorRecord* error);

// Extracts from the cabinet at cabinetPath followed directly by cabinetName
// (the path must be empty or end with a separator). flags is not used; hook
// may be null. Returns 1 on success, 0 on failure.
int FEIExtract(FEIContext* context, const char* cabinetName, const char* cabinetPath, int flags,
               FEINotifyFn notify, FEIHookFn hook, void* userContext);

// Reads one cabinet's header, folder table and file table, and nothing
// else: no data block is read and no decoder made. Sends CABINET_INFO (and
// the cabinet hook), then FOLDER_ENTRY for each folder and FILE_ENTRY for
// each file, in table order; -1 from either aborts. Same path rules and
// result as FEIExtract.
int FEIList(FEIContext* context, const char* cabinetName, const char* cabinetPath, FEINotifyFn notify,
            FEIHookFn hook, void* userContext);

// Releases the decoder, the buffers and any open cabinet handle, then the
// context. Returns 1.
int FEIDestroy(FEIContext* context);
