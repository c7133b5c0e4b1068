// Opening a cabinet of a set and reading its header, reserve sizes, names and
// file entries. Facts relied on: the 36-byte fixed header carries the format
// signature and the version word 0x0103 at offset 24; with the reserve flag
// four bytes follow (u16 header reserve, u8 folder reserve, u8 data reserve),
// then the header reserve; then the previous and next cabinet and disk names
// when their flags are set, each at most 255 bytes and a NUL.
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/records.h"
#include "fei/context.h"

namespace treepak {

namespace {

constexpr uint32_t VERSION_WORD_OFFSET = 24;
constexpr uint32_t LARGEST_SEEK_OFFSET = 0x7FFFFFFF;

bool ReadExactly(FEIContext* context, int handle, void* buffer, uint32_t count) {
    return context->read(handle, buffer, count) == static_cast<int32_t>(count);
}

// Joins the cabinet path buffer and the name into the full-path buffer.
bool BuildFullPath(FEIContext* context, const char* name) {
    const size_t pathLength = strnlen(context->cabinetPath, FEI_NAME_BUFFER_SIZE);
    const size_t nameLength = strnlen(name, FEI_NAME_BUFFER_SIZE);
    if (pathLength + nameLength >= FEI_NAME_BUFFER_SIZE) return false;
    std::memcpy(context->fullPath, context->cabinetPath, pathLength);
    std::memcpy(context->fullPath + pathLength, name, nameLength);
    context->fullPath[pathLength + nameLength] = '\0';
    return true;
}

// Sizes a reserve-carrying record buffer on the first cabinet; every later
// cabinet must use the same size.
int KeepRecordSize(FEIContext* context, uint32_t size, uint32_t* keptSize, uint8_t** buffer) {
    if (*buffer == nullptr) {
        *buffer = static_cast<uint8_t*>(context->alloc(size));
        if (*buffer == nullptr) return FeiFail(context, FEIERR_NO_MEMORY);
        std::memset(*buffer, 0, size);
        *keptSize = size;
        return 1;
    }
    return size == *keptSize ? 1 : FeiFail(context, FEIERR_RESERVE_MISMATCH);
}

int ReadReserveAreas(FEIContext* context) {
    const int handle = context->fileTableHandle;
    uint32_t folderReserve = 0;
    uint32_t dataReserve = 0;
    context->cabinetHasReserve = (context->cabinet.flags & CAB_FLAG_RESERVE_PRESENT) != 0;
    if (context->cabinetHasReserve) {
        uint8_t fields[CFHEADER_RESERVE_FIELDS_SIZE];
        if (!ReadExactly(context, handle, fields, sizeof fields)) {
            return FeiFail(context, FEIERR_NOT_A_CABINET);
        }
        folderReserve = fields[2];
        dataReserve = fields[3];
        // The first cabinet that carries the fields fixes the header reserve
        // size for every later cabinet read by this context.
        if (!context->headerReserveKnown) {
            const uint32_t size = cab::LoadLe16(fields);
            if (size != 0) {
                context->headerReserve = static_cast<uint8_t*>(context->alloc(size));
                if (!context->headerReserve) return FeiFail(context, FEIERR_NO_MEMORY);
            }
            // A reserve of 0xFFFF bytes is valid, so "known" is its own flag.
            context->headerReserveKnown = true;
            context->headerReserveSize = size;
        }
        if (context->headerReserveSize != 0 &&
            !ReadExactly(context, handle, context->headerReserve, context->headerReserveSize)) {
            return FeiFail(context, FEIERR_NOT_A_CABINET);
        }
    }
    if (!KeepRecordSize(context, CFFOLDER_SIZE + folderReserve, &context->folderEntrySize,
                        &context->folderEntry)) {
        return 0;
    }
    return KeepRecordSize(context, CFDATA_SIZE + dataReserve, &context->dataHeaderSize,
                          &context->dataHeader);
}

int ReadNamePair(FEIContext* context, uint16_t flag, char* cabinetName, char* diskName) {
    if ((context->cabinet.flags & flag) == 0) {
        cabinetName[0] = '\0';
        diskName[0] = '\0';
        return 1;
    }
    return FeiReadName(context, cabinetName) && FeiReadName(context, diskName);
}

int AnnounceCabinet(FEIContext* context) {
    FEINotification& n = context->notification;
    n.text1 = context->nextCabinetName;
    n.text2 = context->nextDiskName;
    n.text3 = context->cabinetPath;
    n.userContext = context->userContext;
    n.setId = context->cabinet.setId;
    n.cabinetIndex = context->cabinet.cabinetIndex;
    n.text4 = context->prevCabinetName;
    n.offset = context->cabinet.cabinetSize;
    n.flags = context->cabinet.flags;
    n.headerReserveSize = static_cast<uint16_t>(context->cabinetHasReserve ? context->headerReserveSize : 0);
    n.folderReserveSize = static_cast<uint8_t>(context->folderEntrySize - CFFOLDER_SIZE);
    n.dataReserveSize = static_cast<uint8_t>(context->dataHeaderSize - CFDATA_SIZE);
    if (!FeiNotify(context, FEI_NOTIFY_CABINET_INFO, nullptr)) return 0;

    FEIHookRecord& h = context->hookRecord;
    const bool hasReserve = context->cabinetHasReserve && context->headerReserveKnown &&
                            context->headerReserveSize != 0;
    h.reserve = hasReserve ? context->headerReserve : nullptr;
    h.reserveSize = static_cast<uint16_t>(hasReserve ? context->headerReserveSize : 0);
    h.setId = context->cabinet.setId;
    h.cabinetIndex = context->cabinet.cabinetIndex;
    return FeiCallHook(context, FEI_HOOK_CABINET);
}

}  // namespace

int FeiOpenCabinet(FEIContext* context, const char* name, bool checkIdentity,
                   uint16_t expectedSetId, uint32_t expectedIndex) {
    if (!BuildFullPath(context, name)) return FeiFail(context, FEIERR_OPEN_CABINET);
    context->fileTableHandle = context->open(context->fullPath, FEI_OPEN_FLAGS, FEI_OPEN_MODE);
    if (context->fileTableHandle == FEI_NO_HANDLE) return FeiFail(context, FEIERR_OPEN_CABINET);
    context->dataHandle = context->open(context->fullPath, FEI_OPEN_FLAGS, FEI_OPEN_MODE);
    if (context->dataHandle == FEI_NO_HANDLE) return FeiFail(context, FEIERR_OPEN_CABINET);

    uint8_t header[CFHEADER_SIZE];
    if (!ReadExactly(context, context->fileTableHandle, header, CFHEADER_SIZE) ||
        std::memcmp(header, CAB_SIGNATURE, sizeof CAB_SIGNATURE) != 0) {
        return FeiFail(context, FEIERR_NOT_A_CABINET);
    }
    const uint16_t version = cab::LoadLe16(header + VERSION_WORD_OFFSET);
    if (version != CAB_VERSION) return FeiFail(context, FEIERR_VERSION, version);
    CFHEADER decoded;
    DecodeHeader(header, &decoded);
    if (checkIdentity &&
        (decoded.setId != expectedSetId || decoded.cabinetIndex != expectedIndex)) {
        return FeiFail(context, FEIERR_WRONG_CABINET);
    }
    std::memcpy(context->header, header, CFHEADER_SIZE);
    context->cabinet = decoded;

    if (!ReadReserveAreas(context)) return 0;
    if (!ReadNamePair(context, CAB_FLAG_PREV_CABINET, context->prevCabinetName,
                      context->prevDiskName) ||
        !ReadNamePair(context, CAB_FLAG_NEXT_CABINET, context->nextCabinetName,
                      context->nextDiskName)) {
        return 0;
    }

    const int32_t position = context->seek(context->fileTableHandle, 0, IO_SEEK_CUR);
    if (position < 0) return FeiFail(context, FEIERR_CORRUPT);
    context->firstFolderEntryOffset = static_cast<uint32_t>(position);
    if (decoded.firstFileOffset > LARGEST_SEEK_OFFSET ||
        context->seek(context->fileTableHandle, static_cast<int32_t>(decoded.firstFileOffset),
                      IO_SEEK_SET) < 0) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    context->filesLeft = decoded.fileCount;
    return AnnounceCabinet(context);
}

int FeiCloseCabinet(FEIContext* context) {
    bool closedCleanly = true;
    if (context->dataHandle != FEI_NO_HANDLE) {
        closedCleanly = context->close(context->dataHandle) == 0 && closedCleanly;
        context->dataHandle = FEI_NO_HANDLE;
    }
    if (context->fileTableHandle != FEI_NO_HANDLE) {
        closedCleanly = context->close(context->fileTableHandle) == 0 && closedCleanly;
        context->fileTableHandle = FEI_NO_HANDLE;
    }
    return closedCleanly ? 1 : FeiFail(context, FEIERR_CORRUPT);
}

void FeiReleaseCabinet(FEIContext* context) {
    if (context->dataHandle != FEI_NO_HANDLE) context->close(context->dataHandle);
    if (context->fileTableHandle != FEI_NO_HANDLE) context->close(context->fileTableHandle);
    context->dataHandle = FEI_NO_HANDLE;
    context->fileTableHandle = FEI_NO_HANDLE;
}

int FeiReadName(FEIContext* context, char* buffer) {
    const int handle = context->fileTableHandle;
    const int32_t start = context->seek(handle, 0, IO_SEEK_CUR);
    if (start < 0) return FeiFail(context, FEIERR_CORRUPT);
    const int32_t got = context->read(handle, buffer, FEI_NAME_BUFFER_SIZE);
    if (got <= 0) return FeiFail(context, FEIERR_CORRUPT);
    // Only the bytes actually read count: a name must end with a NUL within
    // them and within the buffer (255 characters at most).
    const uint32_t valid =
        static_cast<uint32_t>(got) < FEI_NAME_BUFFER_SIZE ? static_cast<uint32_t>(got)
                                                          : FEI_NAME_BUFFER_SIZE;
    const void* end = std::memchr(buffer, '\0', valid);
    if (end == nullptr) {
        buffer[0] = '\0';
        return FeiFail(context, FEIERR_CORRUPT);
    }
    const int64_t next = int64_t{start} + (static_cast<const char*>(end) - buffer) + 1;
    if (next > LARGEST_SEEK_OFFSET ||
        context->seek(handle, static_cast<int32_t>(next), IO_SEEK_SET) < 0) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    return 1;
}

int FeiReadFileEntry(FEIContext* context, CFFILE* file, char* name) {
    uint8_t entry[CFFILE_SIZE];
    if (!ReadExactly(context, context->fileTableHandle, entry, CFFILE_SIZE)) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    DecodeFile(entry, file);
    return FeiReadName(context, name);
}

}  // namespace treepak
