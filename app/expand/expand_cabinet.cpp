// The expand driver: a counting pass and an extracting pass of the reader
// engine over the named cabinet and every cabinet that continues it.
//
// The engine extracts a file that continues into the next cabinet by
// following its folder there, but leaves the files that begin in a later
// cabinet to an extraction call on that cabinet; so each pass walks the set,
// one call per cabinet, following the next-cabinet name of each header. In
// a later cabinet the entries continued from the one before arrive as
// continued-file notifications and are passed over.
#include "app/expand/expand_cabinet.h"

#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "app/common/engine_memory.h"
#include "app/common/name_encoding.h"
#include "app/common/path_helpers.h"
#include "app/expand/expand_files.h"
#include "app/expand/expand_names.h"
#include "cabinet/error_record.h"
#include "cabinet/format.h"
#include "fei/fei.h"
#include "platform/attributes.h"
#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"

namespace {

constexpr int kCpuType = 1;
constexpr int32_t kPermille = 1000;
constexpr int32_t kNoProgress = -1;
constexpr uint16_t kKeptAttributes =
    FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM | FILE_ATTR_ARCHIVE;
constexpr int kOutputOpenFlags = platform::OPEN_BINARY | platform::OPEN_CREATE | platform::OPEN_TRUNCATE |
                                 platform::OPEN_WRITE_ONLY;
constexpr int kOutputOpenMode = platform::MODE_READ | platform::MODE_WRITE;
constexpr uint32_t kLastCabinetIndex = 0xFFFF;
constexpr int kNotifyContinue = 0;
constexpr int kCloseFileDone = 1;

// A file entry as the next cabinet repeats it: name and size.
using EntryKey = std::pair<std::string, int32_t>;

struct ExpandContext {
    uint32_t total = 0;
    uint32_t done = 0;
    const char* destination = nullptr;
    ExpandProgressFn progress = nullptr;
    void* progressContext = nullptr;

    // Header of the cabinet an extraction call was made on (the first
    // cabinet-info notification of the call; later ones are cabinets the
    // engine moved into to finish a file).
    bool headerSeen = false;
    std::string nextCabinet;
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;

    // Counting: entries that continue into the next cabinet, so that they
    // are not counted again there.
    std::set<EntryKey> continuingFromPrevious;
    std::set<EntryKey> continuingToNext;

    bool unsafeNameSeen = false;

    // The output file open between its copy and close notifications: what
    // an interrupted extraction removes, since its bytes are incomplete.
    std::string writing;
};

bool ContinuesToNext(uint16_t folderIndex) {
    return folderIndex == FOLDER_CONTINUED_TO_NEXT || folderIndex == FOLDER_CONTINUED_PREV_AND_NEXT;
}

void NoteCabinetHeader(ExpandContext& context, const FEINotification& notification) {
    if (context.headerSeen) return;
    context.headerSeen = true;
    context.nextCabinet = notification.text1 ? notification.text1 : "";
    context.setId = notification.setId;
    context.cabinetIndex = notification.cabinetIndex;
}

int CountNotify(int kind, FEINotification* notification) {
    auto& context = *static_cast<ExpandContext*>(notification->userContext);
    const EntryKey entry{notification->text1 ? notification->text1 : "", notification->value};
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        NoteCabinetHeader(context, *notification);
        break;
    case FEI_NOTIFY_COPY_FILE:
        context.total += static_cast<uint32_t>(notification->value);
        if (ContinuesToNext(notification->folderIndex)) context.continuingToNext.insert(entry);
        break;
    case FEI_NOTIFY_CONTINUED_FILE:
        // Entries wholly inside a continued folder are listed only here.
        if (!context.continuingFromPrevious.count(entry)) context.total += static_cast<uint32_t>(notification->value);
        if (ContinuesToNext(notification->folderIndex)) context.continuingToNext.insert(entry);
        break;
    default:
        break;
    }
    return kNotifyContinue;  // declines every file
}

void ReportProgress(const ExpandContext& context, const char* fileName) {
    int32_t permille = kNoProgress;
    if (context.total != 0) {
        const uint64_t scaled = (static_cast<uint64_t>(context.done) * kPermille + context.total / 2) / context.total;
        permille = static_cast<int32_t>(scaled < static_cast<uint64_t>(kPermille) ? scaled : kPermille);
    }
    context.progress(context.progressContext, fileName, permille, kPermille);
}

int CreateOutput(const std::string& outputPath) {
    int handle = ExpandOpen(outputPath.c_str(), kOutputOpenFlags, kOutputOpenMode);
    if (handle == -1) {
        CreateDirectoryPath(ParentDirectory(outputPath));
        handle = ExpandOpen(outputPath.c_str(), kOutputOpenFlags, kOutputOpenMode);
    }
    return handle;
}

int ExtractNotify(int kind, FEINotification* notification) {
    auto& context = *static_cast<ExpandContext*>(notification->userContext);
    if (platform::InterruptRequested()) return FEI_REPLY_ABORT;
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        NoteCabinetHeader(context, *notification);
        return kNotifyContinue;
    case FEI_NOTIFY_COPY_FILE: {
        const std::string name = ExtractedName(notification->text1, notification->attributes);
        ReportProgress(context, name.c_str());
        context.done += static_cast<uint32_t>(notification->value);
        if (IsUnsafeStoredName(name)) {
            std::printf("***** ERROR: unsafe file name in cabinet: %s\n", name.c_str());
            context.unsafeNameSeen = true;
            return kNotifyContinue;  // skipped
        }
        std::string outputPath = OutputPathFor(context.destination, name);
        const int handle = CreateOutput(outputPath);
        if (handle != -1) context.writing = std::move(outputPath);
        return handle;
    }
    case FEI_NOTIFY_CLOSE_FILE: {
        ReportProgress(context, ExtractedName(notification->text1, notification->attributes).c_str());
        // Times and attributes are best effort: a failure leaves the file.
        // Both go through the open handle, which saves looking the path up.
        platform::SetFileDosDateTime(notification->handle, notification->date, notification->time);
        platform::SetHandleAttributes(notification->handle, notification->attributes & kKeptAttributes);
        ExpandClose(notification->handle);
        context.writing.clear();
        return kCloseFileDone;
    }
    case FEI_NOTIFY_NEXT_CABINET:
        // A second request means the named cabinet is missing or wrong:
        // give up instead of asking for it forever.
        return notification->errorCode == 0 ? kNotifyContinue : FEI_REPLY_ABORT;
    default:
        return kNotifyContinue;
    }
}

// Runs one pass over the named cabinet and the cabinets that continue it.
// The counting pass stops quietly at a later cabinet it cannot read, so that
// the files before it are still extracted; the extracting pass then fails
// where it needs that cabinet.
enum class PassKind { Counting, Extracting };

bool PassOverSet(FEIContext* reader, const std::string& directory, const std::string& firstName,
                 PassKind kind, ExpandContext& context) {
    const FEINotifyFn notify = kind == PassKind::Counting ? CountNotify : ExtractNotify;
    std::string name = firstName;
    uint32_t expectedIndex = 0;
    uint16_t setId = 0;
    context.continuingFromPrevious.clear();
    for (bool first = true;; first = false) {
        // The engine keeps the path and the joined path in name buffers.
        const bool quietFailure = !first && kind == PassKind::Counting;
        if (directory.size() + name.size() >= FEI_NAME_BUFFER_SIZE) return quietFailure;
        context.headerSeen = false;
        context.continuingToNext.clear();
        if (!FEIExtract(reader, name.c_str(), directory.c_str(), 0, notify, nullptr, &context) ||
            !context.headerSeen)
            return quietFailure;
        // Each cabinet must be the next of the same set, which also stops a
        // set whose names run in a circle.
        if (!first && (context.setId != setId || context.cabinetIndex != expectedIndex)) return quietFailure;
        if (context.nextCabinet.empty()) return true;
        if (context.cabinetIndex >= kLastCabinetIndex) return quietFailure;
        setId = context.setId;
        expectedIndex = context.cabinetIndex + 1u;
        name = context.nextCabinet;
        context.continuingFromPrevious = std::move(context.continuingToNext);
        context.continuingToNext = {};
    }
}

}  // namespace

int ExpandCabinet(const char* cabinetPath, const char* destinationDir, ExpandProgressFn progress,
                  void* progressContext) {
    ExpandContext context;
    context.destination = destinationDir;
    context.progress = progress;
    context.progressContext = progressContext;
    SetNamedCabinet(cabinetPath);

    ErrorRecord error{};
    FEIContext* reader =
        FEICreate(ReaderAlloc, EngineFree, ExpandOpen, ExpandRead, ExpandWrite, ExpandClose, ExpandSeek, kCpuType, &error);
    if (reader == nullptr) return 0;

    // "in/pack.cab" gives the directory "in/" (separator kept) and the name.
    const std::string path = cabinetPath;
    const std::string name(FileNamePart(path));
    const std::string directory = path.substr(0, path.size() - name.size());

    bool ok = PassOverSet(reader, directory, name, PassKind::Counting, context) &&
              PassOverSet(reader, directory, name, PassKind::Extracting, context);
    ok = FEIDestroy(reader) == 1 && ok;
    // The engine closed the file it was writing when the pass failed; files
    // already complete stay.
    if (!ok && platform::InterruptRequested() && !context.writing.empty()) {
        int32_t error = 0;
        platform::DeleteFile(context.writing.c_str(), &error);
    }
    return ok && !context.unsafeNameSeen ? 1 : 0;
}
