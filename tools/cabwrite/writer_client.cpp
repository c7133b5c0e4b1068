#include "writer_client.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cabinet/format.h"
#include "options.h"
#include "platform/attributes.h"
#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "platform/large_blocks.h"
#include "platform/temp_names.h"

namespace {

// Temporary files of the engine start with this prefix.
constexpr const char* kTempPrefix = "cw";
// Attribute bits a source file contributes to its entry.
constexpr uint16_t kStoredAttributes =
    FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM | FILE_ATTR_ARCHIVE;

WriterClient* ClientOf(void* context) { return static_cast<WriterClient*>(context); }

// The compressors' tables and windows in huge pages where the system offers
// them (see platform/large_blocks.h).
void* Alloc(uint32_t size) {
    if (void* block = platform::AllocateLargeBlock(size, true)) return block;
    return std::malloc(size == 0 ? 1 : size);
}
void Free(void* block) {
    if (!platform::FreeLargeBlock(block)) std::free(block);
}

int32_t Open(const char* path, int32_t flags, int32_t mode, int32_t* error, void*) {
    return platform::OpenFile(path, flags, mode, error);
}
int32_t Read(int32_t handle, void* buffer, uint32_t count, int32_t* error, void*) {
    return platform::ReadFile(handle, buffer, count, error);
}
int32_t Write(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void*) {
    return platform::WriteFile(handle, buffer, count, error);
}
int32_t Close(int32_t handle, int32_t* error, void*) { return platform::CloseFile(handle, error); }
int32_t Seek(int32_t handle, int32_t offset, int origin, int32_t* error, void*) {
    const int64_t position = platform::SeekFile(handle, offset, origin, error);
    // Cabinets and temporary files stay below 2 GiB; anything else is an error.
    return position < 0 || position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}
int32_t Delete(const char* path, int32_t* error, void*) { return platform::DeleteFile(path, error); }

int32_t GetTempFile(char* buffer, int32_t size, void*) {
    std::string name;
    if (!platform::MakeTempName(kTempPrefix, &name) || name.size() >= static_cast<size_t>(size))
        return 0;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return 1;
}

int32_t FilePlaced(CabParams* params, const char* name, uint32_t size, int32_t continuation,
                   void* context) {
    if (ClientOf(context)->verbose)
        std::printf("  %s%s (%u bytes) in %s\n", name, continuation ? " continued" : "", size,
                    params->cabinetName);
    return 0;
}

int32_t GetNextCabinet(CabParams* next, uint32_t, void* context) {
    WriterClient* client = ClientOf(context);
    std::string name, disk;
    if (!ExpandNamePattern(client->nextPattern, next->cabinetNumber, &name) ||
        !ExpandNamePattern(client->diskPattern, next->cabinetNumber, &disk) ||
        name.size() >= FCI_NAME_SIZE || disk.size() >= FCI_NAME_SIZE) {
        client->failure = "cannot name cabinet " + std::to_string(next->cabinetNumber);
        return -1;
    }
    std::memcpy(next->cabinetName, name.c_str(), name.size() + 1);
    std::memcpy(next->diskName, disk.c_str(), disk.size() + 1);
    client->cabinetNames.push_back(name);
    return 0;
}

int32_t Status(uint32_t kind, uint32_t, uint32_t size2, void* context) {
    WriterClient* client = ClientOf(context);
    if (kind != FCI_STATUS_CABINET) return 0;
    const size_t index = client->cabinetsWritten++;
    if (client->verbose && index < client->cabinetNames.size())
        std::printf("wrote %s%s (%u bytes)\n", client->directory.c_str(),
                    client->cabinetNames[index].c_str(), size2);
    return 0;
}

int32_t GetOpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes,
                    int32_t* error, void* context) {
    const auto* client = static_cast<const WriterClient*>(context);
    const int32_t handle = platform::OpenFile(
        path, platform::OPEN_READ_ONLY | platform::OPEN_BINARY, 0, error);
    if (handle == -1) return -1;
    platform::SourceFileInfo info{};
    if (platform::GetSourceFileInfo(path, &info)) {
        *date = info.date;
        *time = info.time;
        *attributes = static_cast<uint16_t>(info.attributes & kStoredAttributes);
    } else {
        *date = 0;
        *time = 0;
        *attributes = 0;
    }
    if (client->storedNameIsUtf8) *attributes |= FILE_ATTR_NAME_IS_UTF8;
    return handle;
}

const WriterCallbacks kCallbacks{FilePlaced, Alloc,       Free,           Open,   Read,
                                 Write,      Close,       Seek,           Delete, GetTempFile,
                                 GetNextCabinet, Status, GetOpenInfo};

}  // namespace

const WriterCallbacks& CabwriteCallbacks() { return kCallbacks; }

const char* WriterErrorText(int32_t code) {
    switch (code) {
        case FCIERR_NONE: return "No error";
        case FCIERR_OPEN_SOURCE: return "Failure opening file to be stored in cabinet";
        case FCIERR_READ_SOURCE: return "Failure reading file to be stored in cabinet";
        case FCIERR_NO_MEMORY: return "Insufficient memory in FCI";
        case FCIERR_TEMP_FILE: return "Could not create a temporary file";
        case FCIERR_COMPRESSION_TYPE: return "Unknown compression type";
        case FCIERR_CABINET_FILE: return "Could not create cabinet file";
        case FCIERR_ABORT: return "Client requested abort";
        case FCIERR_COMPRESS: return "Failure compressing data";
        default: return "Unknown error";
    }
}
