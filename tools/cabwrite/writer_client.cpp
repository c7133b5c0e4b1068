#include "writer_client.h"

#include <cstdio>
#include <cstring>

#include "app/common/engine_memory.h"
#include "app/common/name_encoding.h"
#include "app/common/writer_callbacks.h"
#include "app/build/precompress.h"
#include "options.h"
#include "platform/interrupts.h"
#include "platform/output_files.h"

namespace treepak {

namespace {

// Temporary files of the engine start with this prefix.
constexpr const char* kTempPrefix = "cw";
constexpr int32_t kAbort = -1;

WriterClient* ClientOf(void* context) { return static_cast<WriterClient*>(context); }

int32_t Open(const char* path, int32_t flags, int32_t mode, int32_t* error, void* context) {
    WriterClient* client = ClientOf(context);
    if (!IsCabinetOpen(flags)) return WriterOpen(path, flags, mode, error, context);
    if (client->dryRun) return platform::OpenAnonymousTempFile(error);
    const int32_t handle = WriterOpen(path, flags, mode, error, context);
    if (handle >= 0) client->cabinetsCreated.emplace_back(path);
    return handle;
}

int32_t GetTempFile(char* buffer, int32_t size, void*) { return WriterTempName(kTempPrefix, buffer, size); }

// Reads of the open source tell the workers where the engine is.
int32_t Read(int32_t handle, void* buffer, uint32_t count, int32_t* error, void* context) {
    Precompressor* workers = ClientOf(context)->workers;
    if (workers == nullptr || handle != ClientOf(context)->sourceHandle)
        return WriterRead(handle, buffer, count, error, context);
    workers->BeforeRead(count);
    const int32_t got = WriterRead(handle, buffer, count, error, context);
    workers->AfterRead(got);
    return got;
}
int32_t Close(int32_t handle, int32_t* error, void* context) {
    if (handle == ClientOf(context)->sourceHandle) ClientOf(context)->sourceHandle = -1;
    return WriterClose(handle, error, context);
}

int32_t FilePlaced(CabParams* params, const char* name, uint32_t size, int32_t continuation, void* context) {
    WriterClient* client = ClientOf(context);
    if (client->passStarted && !continuation) ++client->folders;
    client->passStarted = false;
    if (client->dryRun)
        std::printf("%s\t%u\t%u\t%s\n", name, size, client->folders, params->cabinetName);
    else if (client->verbose)
        std::printf("  %s%s (%u bytes) in %s\n", name, continuation ? " continued" : "", size, params->cabinetName);
    return 0;
}

int32_t GetNextCabinet(CabParams* next, uint32_t, void* context) {
    WriterClient* client = ClientOf(context);
    std::string name, disk;
    if (!ExpandNamePattern(client->nextPattern, next->cabinetNumber, &name) ||
        !ExpandNamePattern(client->diskPattern, next->cabinetNumber, &disk) || name.size() >= FCI_NAME_SIZE ||
        disk.size() >= FCI_NAME_SIZE) {
        client->failure = "cannot name cabinet " + std::to_string(next->cabinetNumber);
        return kAbort;
    }
    // Further cabinets of the set follow the rules of the first.
    if (!MayWriteCabinet(client->directory + name, client->outputRules, &client->failure)) return kAbort;
    std::memcpy(next->cabinetName, name.c_str(), name.size() + 1);
    std::memcpy(next->diskName, disk.c_str(), disk.size() + 1);
    client->cabinetNames.push_back(name);
    return 0;
}

int32_t Status(uint32_t kind, uint32_t size1, uint32_t size2, void* context) {
    WriterClient* client = ClientOf(context);
    // The writer reports every block, so a signal stops it within one.
    if (platform::InterruptRequested()) {
        client->failure = "interrupted by a signal";
        return kAbort;
    }
    // Placing a folder into a cabinet starts with a report of nothing copied.
    if (kind == FCI_STATUS_FOLDER && size1 == 0) client->passStarted = true;
    if (kind == FCI_STATUS_FOLDER) client->folderPlaced = true;
    if (kind != FCI_STATUS_CABINET) return 0;
    const size_t index = client->cabinetsWritten++;
    client->bytesOut += size2;
    if (client->verbose && !client->dryRun && index < client->cabinetNames.size())
        std::printf("wrote %s%s (%u bytes)\n", client->directory.c_str(), client->cabinetNames[index].c_str(), size2);
    return 0;
}

int32_t GetOpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t*,
                    void* context) {
    WriterClient* client = ClientOf(context);
    const InputFile& file = *client->current;
    platform::FileStamp stamp;
    int32_t openError = 0;
    const int32_t handle = WriterOpenSource(path, date, time, attributes, HasNonAsciiByte(file.nameInCabinet), &stamp,
                                            &openError);
    if (handle < 0) return handle;
    client->sourceHandle = handle;
    StoredTime(client->times, file.status.modified, date, time);
    *attributes = StoredAttributes(client->attributes, *attributes);
    return handle;
}

const WriterCallbacks kCallbacks{FilePlaced, WriterAlloc,    EngineFree, Open,        Read,
                                 WriterWrite, Close,   WriterSeek, WriterDelete, GetTempFile,
                                 GetNextCabinet, Status,     GetOpenInfo};

}  // namespace

const WriterCallbacks& CabwriteCallbacks() { return kCallbacks; }

}  // namespace treepak
