// Creation and destruction of the reader context, and the shared helpers for
// errors, notifications and the hook.
#include "fei/fei.h"

#include <cstring>

#include "cabinet/tp_assert.h"
#include "fei/context.h"
#include "fei/decompressor.h"

namespace treepak {

int FeiFail(FEIContext* context, int errorCode, int systemError) {
    context->error->errorCode = errorCode;
    context->error->systemError = systemError;
    context->error->errorFlag = 1;
    return 0;
}

int FeiNotify(FEIContext* context, int kind, int* reply) {
    TP_ASSERT(context->notify != nullptr);
    const int answer = context->notify(kind, &context->notification);
    if (reply) *reply = answer;
    return answer == FEI_REPLY_ABORT ? FeiFail(context, FEIERR_ABORT) : 1;
}

int FeiCallHook(FEIContext* context, int kind) {
    if (context->hook == nullptr) return 1;
    context->hookRecord.kind = kind;
    context->hookRecord.userContext = context->userContext;
    return context->hook(&context->hookRecord) == FEI_REPLY_ABORT
               ? FeiFail(context, FEIERR_ABORT)
               : 1;
}

}  // namespace treepak

FEIContext* FEICreate(FEIAllocFn alloc, FEIFreeFn free, FEIOpenFn open, FEIReadFn read,
                      FEIWriteFn write, FEICloseFn close, FEISeekFn seek, int cpuType,
                      ErrorRecord* error) {
    using namespace treepak;
    auto* context = static_cast<FEIContext*>(alloc(sizeof(FEIContext)));
    if (context == nullptr) {
        error->errorCode = FEIERR_NO_MEMORY;
        error->systemError = 0;
        error->errorFlag = 1;
        return nullptr;
    }
    // A plain record: zero it, then set the fields whose start is not zero.
    std::memset(static_cast<void*>(context), 0, sizeof(FEIContext));
    context->error = error;
    context->free = free;
    context->alloc = alloc;
    context->open = open;
    context->read = read;
    context->write = write;
    context->close = close;
    context->seek = seek;
    context->cpuType = cpuType;
    context->compressionType = COMPRESS_UNSET;
    context->headerReserveSize = FEI_SIZE_UNKNOWN;
    context->folderEntrySize = FEI_SIZE_UNKNOWN;
    context->dataHeaderSize = FEI_SIZE_UNKNOWN;
    context->dataHandle = FEI_NO_HANDLE;
    context->fileTableHandle = FEI_NO_HANDLE;
    context->outputHandle = FEI_NO_HANDLE;
    context->currentFolder = FEI_NO_FOLDER;
    return context;
}

int FEIDestroy(FEIContext* context) {
    using namespace treepak;
    if (context == nullptr) return 1;
    if (!FeiSetCompressionType(context, COMPRESS_UNSET)) {
        // The decoder refused to be destroyed; the buffers are ours all the same.
        if (context->compressedBuffer) context->free(context->compressedBuffer);
        if (context->uncompressedBuffer) context->free(context->uncompressedBuffer);
    }
    if (context->headerReserve) context->free(context->headerReserve);
    if (context->folderEntry) context->free(context->folderEntry);
    if (context->dataHeader) context->free(context->dataHeader);
    FeiReleaseCabinet(context);
    context->free(context);
    return 1;
}
