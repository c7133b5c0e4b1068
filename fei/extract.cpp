// FEIExtract: the walk over a cabinet's file table, folder selection and the
// copy of one file's bytes out of the decoded blocks. Facts relied on: file
// entries give each file's size, its offset in its folder's uncompressed
// stream and its folder index, or a continuation value saying that the
// file's data begin in an earlier cabinet (first folder) or go on into the
// next one (last folder); blocks expand to at most 32768 bytes.
#include <cstring>

#include "cabinet/tp_assert.h"
#include "fei/context.h"
#include "fei/decompressor.h"

namespace treepak {

namespace {

bool ContinuedFromPrevious(uint16_t folderIndex) {
    return folderIndex == FOLDER_CONTINUED_FROM_PREV ||
           folderIndex == FOLDER_CONTINUED_PREV_AND_NEXT;
}

bool ContinuesToNext(uint16_t folderIndex) {
    return folderIndex == FOLDER_CONTINUED_TO_NEXT ||
           folderIndex == FOLDER_CONTINUED_PREV_AND_NEXT;
}

// Tells the client where the walk stands; it may end the walk, lengthen it
// or move it to another position of the file table.
int SendFileTable(FEIContext* context) {
    const int32_t position = context->seek(context->fileTableHandle, 0, IO_SEEK_CUR);
    if (position < 0) return FeiFail(context, FEIERR_CORRUPT);
    FEINotification& n = context->notification;
    n.value = position;
    n.folderIndex = context->filesLeft;
    n.setId = context->cabinet.setId;
    n.userContext = context->userContext;
    if (!FeiNotify(context, FEI_NOTIFY_FILE_TABLE, nullptr)) return 0;
    context->filesLeft = n.folderIndex;
    if (context->filesLeft != 0 && n.value != position &&
        context->seek(context->fileTableHandle, n.value, IO_SEEK_SET) < 0) {
        return FeiFail(context, FEIERR_ABORT);
    }
    return 1;
}

// Makes the entry's folder the one being decoded, from its first block.
int SelectFolder(FEIContext* context, uint16_t folderIndex) {
    if (context->continuing) return 1;
    uint32_t folder = folderIndex;
    if (ContinuesToNext(folderIndex)) folder = uint32_t{context->cabinet.folderCount} - 1;
    if (folder == context->currentFolder) return 1;
    if (!FeiResetDecoder(context) || !FeiLoadFolder(context, folder)) return 0;
    context->blockStart = 0;
    context->blockSize = 0;
    return FeiReadNextBlock(context);
}

int CopyFileBytes(FEIContext* context) {
    const CFFILE& file = context->file;
    if (context->blockStart > file.folderOffset) context->currentFolder = FEI_NO_FOLDER;
    if (!SelectFolder(context, file.folderIndex)) return 0;
    // Only a stream continued from an earlier cabinet can stand past the
    // file's start here; its bytes are gone.
    if (context->blockStart > file.folderOffset) return FeiFail(context, FEIERR_CORRUPT);
    while (context->blockStart + context->blockSize <= file.folderOffset) {
        if (!FeiReadNextBlock(context)) return 0;
    }
    TP_ASSERT(context->blockStart <= file.folderOffset &&
              file.folderOffset < context->blockStart + context->blockSize);
    uint64_t position = file.folderOffset;
    uint32_t remaining = file.fileSize;
    for (;;) {
        const auto inBlock = static_cast<uint32_t>(position - context->blockStart);
        uint32_t count = context->blockSize - inBlock;
        if (count > remaining) count = remaining;
        if (context->write(context->outputHandle, context->uncompressedBuffer + inBlock, count) !=
            static_cast<int32_t>(count)) {
            return FeiFail(context, FEIERR_TARGET_FILE);
        }
        remaining -= count;
        position += count;
        if (remaining == 0) return 1;
        if (!FeiReadNextBlock(context)) return 0;
    }
}

int SendCloseFile(FEIContext* context) {
    const CFFILE& file = context->file;
    FEINotification& n = context->notification;
    n.value = (file.attributes & FILE_ATTR_EXECUTE) ? 1 : 0;
    n.text1 = context->fileName;
    n.handle = context->outputHandle;
    n.date = file.date;
    n.time = file.time;
    n.attributes = static_cast<uint16_t>(file.attributes & ~FILE_ATTR_EXECUTE);
    n.userContext = context->userContext;
    n.folderIndex = file.folderIndex;
    int reply = 0;
    if (!FeiNotify(context, FEI_NOTIFY_CLOSE_FILE, &reply)) return 0;
    // From here the client owns the handle, whatever it answered.
    context->outputHandle = FEI_NO_HANDLE;
    return reply == FEI_REPLY_CLOSE_FAILED ? FeiFail(context, FEIERR_TARGET_FILE) : 1;
}

int ExtractFile(FEIContext* context) {
    if ((context->file.fileSize == 0 || CopyFileBytes(context)) && SendCloseFile(context)) {
        return 1;
    }
    if (context->outputHandle != FEI_NO_HANDLE) {
        context->close(context->outputHandle);
        context->outputHandle = FEI_NO_HANDLE;
    }
    return 0;
}

// Handles one file entry; the walk of this cabinet ends when it leaves
// filesLeft at 0.
int VisitEntry(FEIContext* context) {
    const uint16_t folderIndex = context->file.folderIndex;
    FeiFillFileNotification(context);
    if (ContinuedFromPrevious(folderIndex) && !context->continuing) {
        return FeiNotify(context, FEI_NOTIFY_CONTINUED_FILE, nullptr);
    }
    if (!ContinuedFromPrevious(folderIndex) && context->continuing) {
        // The continued stream is done: files that begin in this cabinet are
        // left for an extraction that starts here.
        context->filesLeft = 0;
        return 1;
    }
    int reply = 0;
    if (!FeiNotify(context, FEI_NOTIFY_COPY_FILE, &reply)) return 0;
    if (reply == FEI_REPLY_SKIP) {
        if (ContinuesToNext(folderIndex)) ++context->continuedFilesPassed;
        return 1;
    }
    context->outputHandle = reply;
    return ExtractFile(context);
}

int WalkCabinet(FEIContext* context, const char* cabinetName, const char* cabinetPath) {
    if (!FeiOpenCabinet(context, cabinetName, false, 0, 0)) return 0;
    context->continuing = 0;
    context->currentFolder = FEI_NO_FOLDER;
    // Drops any change the client made to the path during the cabinet notice.
    FeiCopyPath(context->cabinetPath, cabinetPath);
    if (!SendFileTable(context)) return 0;
    while (context->filesLeft != 0) {
        --context->filesLeft;
        if (!FeiReadFileEntry(context, &context->file, context->fileName) ||
            !VisitEntry(context)) {
            return 0;
        }
        if (context->filesLeft == 0 && !SendFileTable(context)) return 0;
    }
    return 1;
}

}  // namespace

bool FeiCopyPath(char* buffer, const char* path) {
    const size_t length = strnlen(path, FEI_NAME_BUFFER_SIZE);
    if (length >= FEI_NAME_BUFFER_SIZE) return false;
    std::memcpy(buffer, path, length + 1);
    return true;
}

void FeiFillFileNotification(FEIContext* context) {
    const CFFILE& file = context->file;
    FEINotification& n = context->notification;
    n.value = static_cast<int32_t>(file.fileSize);
    n.text1 = context->fileName;
    n.text2 = context->prevCabinetName;
    n.text3 = context->prevDiskName;
    n.date = file.date;
    n.time = file.time;
    n.attributes = file.attributes;
    n.userContext = context->userContext;
    n.folderIndex = file.folderIndex;
    n.offset = file.folderOffset;
}

}  // namespace treepak

int FEIExtract(FEIContext* context, const char* cabinetName, const char* cabinetPath, int flags,
               FEINotifyFn notify, FEIHookFn hook, void* userContext) {
    using namespace treepak;
    (void)flags;
    context->notify = notify;
    context->hook = hook;
    context->userContext = userContext;
    context->continuedFilesPassed = 0;
    if (!FeiCopyPath(context->cabinetPath, cabinetPath)) {
        return FeiFail(context, FEIERR_OPEN_CABINET);
    }
    const int result = WalkCabinet(context, cabinetName, cabinetPath);
    FeiReleaseCabinet(context);
    return result;
}
