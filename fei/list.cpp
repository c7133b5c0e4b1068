// FEIList: a cabinet's tables without its data. Facts relied on: the folder
// entries follow the header's names back to back, each 8 bytes plus the
// folder reserve; the file table starts where the header says and holds
// fileCount entries.
#include "cabinet/records.h"
#include "fei/context.h"

namespace treepak {

namespace {

constexpr uint32_t LARGEST_SEEK_OFFSET = 0x7FFFFFFF;

int SendFolders(FEIContext* context) {
    if (context->firstFolderEntryOffset > LARGEST_SEEK_OFFSET ||
        context->seek(context->dataHandle, static_cast<int32_t>(context->firstFolderEntryOffset),
                      IO_SEEK_SET) < 0) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    FEINotification& n = context->notification;
    for (uint16_t index = 0; index < context->cabinet.folderCount; ++index) {
        if (context->read(context->dataHandle, context->folderEntry, context->folderEntrySize) !=
            static_cast<int32_t>(context->folderEntrySize)) {
            return FeiFail(context, FEIERR_CORRUPT);
        }
        CFFOLDER folder;
        DecodeFolder(context->folderEntry, &folder);
        n.folderIndex = index;
        n.offset = folder.firstDataOffset;
        n.blockCount = folder.dataBlockCount;
        n.compressionType = folder.compressionType;
        n.userContext = context->userContext;
        if (!FeiNotify(context, FEI_NOTIFY_FOLDER_ENTRY, nullptr)) return 0;
    }
    return 1;
}

int SendFiles(FEIContext* context) {
    while (context->filesLeft != 0) {
        --context->filesLeft;
        if (!FeiReadFileEntry(context, &context->file, context->fileName)) return 0;
        FeiFillFileNotification(context);
        if (!FeiNotify(context, FEI_NOTIFY_FILE_ENTRY, nullptr)) return 0;
    }
    return 1;
}

}  // namespace

}  // namespace treepak

int FEIList(FEIContext* context, const char* cabinetName, const char* cabinetPath, FEINotifyFn notify,
            FEIHookFn hook, void* userContext) {
    using namespace treepak;
    context->notify = notify;
    context->hook = hook;
    context->userContext = userContext;
    if (!FeiCopyPath(context->cabinetPath, cabinetPath)) return FeiFail(context, FEIERR_OPEN_CABINET);
    const int result = FeiOpenCabinet(context, cabinetName, false, 0, 0) && SendFolders(context) &&
                       SendFiles(context);
    FeiReleaseCabinet(context);
    return result;
}
