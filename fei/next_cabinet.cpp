// Moving into the next cabinet of a set in the middle of a folder. The
// folder's stream goes on in the next cabinet's folder 0 without a decoder
// reset; the next cabinet must carry the same set id and the next index.
// Files already counted as passed (the one being extracted, and entries
// continued into the next cabinet that the client declined) head the next
// cabinet's file table again and are dropped from the walk.
#include <cstring>

#include "fei/context.h"

namespace treepak {

namespace {

// What the client sees in FEI_NOTIFY_NEXT_CABINET; refilled before every
// attempt, since a failed attempt may have sent other notifications.
struct NextCabinetRequest {
    uint16_t setId;
    uint32_t index;
    int32_t errorCode;
};

void FillRequest(FEIContext* context, const NextCabinetRequest& request) {
    FEINotification& n = context->notification;
    n.text1 = context->nextCabinetName;
    n.text2 = context->nextDiskName;
    n.text3 = context->cabinetPath;
    n.userContext = context->userContext;
    n.setId = request.setId;
    n.cabinetIndex = static_cast<uint16_t>(request.index);
    n.errorCode = request.errorCode;
}

int DropPassedEntries(FEIContext* context) {
    ++context->continuedFilesPassed;
    CFFILE entry;
    char name[FEI_NAME_BUFFER_SIZE];
    for (; context->continuedFilesPassed > 0; --context->continuedFilesPassed) {
        if (context->filesLeft == 0) return FeiFail(context, FEIERR_CORRUPT);
        if (!FeiReadFileEntry(context, &entry, name)) return 0;
        --context->filesLeft;
    }
    return 1;
}

}  // namespace

int FeiMoveToNextCabinet(FEIContext* context) {
    // A cabinet that names no successor cannot hold a folder that goes on.
    if ((context->cabinet.flags & CAB_FLAG_NEXT_CABINET) == 0) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    NextCabinetRequest request{context->cabinet.setId,
                               uint32_t{context->cabinet.cabinetIndex} + 1, 0};
    const ErrorRecord errorBefore = *context->error;
    // The names the client chose for an attempt; a failed attempt may have
    // read the names of the cabinet it opened over them.
    char cabinetName[FEI_NAME_BUFFER_SIZE];
    char diskName[FEI_NAME_BUFFER_SIZE];
    for (;;) {
        if (!FeiCloseCabinet(context)) return 0;
        FillRequest(context, request);
        if (!FeiNotify(context, FEI_NOTIFY_NEXT_CABINET, nullptr)) return 0;
        context->nextCabinetName[FEI_NAME_BUFFER_SIZE - 1] = '\0';
        context->nextDiskName[FEI_NAME_BUFFER_SIZE - 1] = '\0';
        std::memcpy(cabinetName, context->nextCabinetName, FEI_NAME_BUFFER_SIZE);
        std::memcpy(diskName, context->nextDiskName, FEI_NAME_BUFFER_SIZE);
        if (FeiOpenCabinet(context, cabinetName, true, request.setId, request.index) &&
            FeiLoadFolder(context, 0)) {
            break;
        }
        if (context->error->errorCode == FEIERR_ABORT) return 0;
        request.errorCode = context->error->errorCode;
        std::memcpy(context->nextCabinetName, cabinetName, FEI_NAME_BUFFER_SIZE);
        std::memcpy(context->nextDiskName, diskName, FEI_NAME_BUFFER_SIZE);
    }
    // Failed attempts that the client got past are not failures of the call.
    *context->error = errorBefore;
    context->cabinetPath[FEI_NAME_BUFFER_SIZE - 1] = '\0';

    if (!DropPassedEntries(context)) return 0;
    context->continuing = 1;
    return 1;
}

}  // namespace treepak
