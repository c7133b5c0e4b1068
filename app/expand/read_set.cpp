// The walk of a cabinet set through the reader engine: an optional counting
// pass (for progress) and the pass that takes the files.
//
// The engine extracts a file that continues into the next cabinet by
// following its folder there, but leaves the files that begin in a later
// cabinet to an extraction call on that cabinet; so each pass walks the set,
// one call per cabinet, following the next-cabinet name of each header. In
// a later cabinet the entries continued from the one before arrive as
// continued-file notifications and are passed over.
//
// A call fails as a whole at the first damaged block. When the caller wants
// the run to go on, the same cabinet is read again, declining every entry
// already decided and every entry of a folder found damaged, so a bad
// folder costs only its own files.
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "app/common/engine_memory.h"
#include "app/common/name_encoding.h"
#include "app/common/path_helpers.h"
#include "app/expand/expand_files.h"
#include "app/expand/expand_names.h"
#include "app/expand/next_cabinet.h"
#include "app/expand/reader_client.h"
#include "app/expand/reader_failure.h"
#include "cabinet/format.h"
#include "fei/fei.h"
#include "platform/attributes.h"
#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"
#include "platform/output_files.h"

namespace treepak {

namespace {

constexpr int kCpuType = 1;
constexpr int32_t kPermille = 1000;
constexpr int32_t kNoProgress = -1;
constexpr uint16_t kKeptAttributes = FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM | FILE_ATTR_ARCHIVE;

// A file entry as the next cabinet repeats it: name and size (counting), or
// name, size and offset (the files decided in the taking pass).
using CountKey = std::pair<std::string, int32_t>;
using EntryKey = std::tuple<std::string, int32_t, uint32_t>;

bool ContinuesToNext(uint16_t folderIndex) {
    return folderIndex == FOLDER_CONTINUED_TO_NEXT || folderIndex == FOLDER_CONTINUED_PREV_AND_NEXT;
}

struct Walk {
    const ReaderRequest* request = nullptr;
    ReaderOutcome* outcome = nullptr;
    FEIContext* reader = nullptr;
    ErrorRecord error{};
    std::string directory;  // of the named cabinet, separator kept

    uint32_t total = 0;
    uint32_t done = 0;
    std::set<CountKey> continuingFromPrevious;
    std::set<CountKey> continuingToNext;

    // The call now running: whether it is on the named cabinet, the header
    // of the cabinet it was made on, and the cabinet being read (the engine
    // moves into the next one to finish a file).
    bool firstCall = false;
    bool headerSeen = false;
    std::string nextCabinet;
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
    std::string opening;
    std::string inUse;
    ReaderPlace place;

    std::set<EntryKey> decided;
    std::string calledOn;               // the cabinet the calls are made on
    std::set<uint16_t> damagedFolders;  // of that cabinet
    // Whether the folder going on into the next cabinet was damaged: found
    // in this cabinet's calls, and carried from the cabinet before.
    bool continuationDamaged = false;
    bool continuationDamagedBefore = false;
    std::string missingNamed;  // a next cabinet already named as missing

    // The file being written, between its copy and close notifications.
    bool writing = false;
    ReaderEntry current;
    std::string outputPath;

    // Set when the client made the engine stop: the words for it, or that
    // they were already said.
    std::string abortReason;
    bool abortReported = false;
};

std::string Shown(const Walk& walk, const std::string& name) {
    const std::string path = walk.directory + name;
    return !walk.request->shownPath.empty() && path == walk.request->cabinetPath ? walk.request->shownPath : path;
}

std::string MissingNext(Walk& walk, const std::string& name, const std::string& problem) {
    walk.missingNamed = name;
    return Shown(walk, name) + ": " + problem;
}

void Report(const Walk& walk, const std::string& message) {
    if (walk.request->report) walk.request->report(walk.request->context, message);
}

void FileFailed(Walk& walk, const ReaderEntry& entry, const std::string& text, bool unsafeName = false) {
    ++walk.outcome->filesFailed;
    const ReaderFailure failure{text, unsafeName};
    if (walk.request->fileDone) walk.request->fileDone(walk.request->context, entry, &failure);
}

ReaderEntry EntryOf(const FEINotification& n) {
    ReaderEntry entry;
    entry.name = ExtractedName(n.text1 ? n.text1 : "", n.attributes);
    entry.size = static_cast<uint32_t>(n.value);
    entry.offset = n.offset;
    entry.folder = n.folderIndex;
    entry.date = n.date;
    entry.time = n.time;
    entry.attributes = n.attributes;
    return entry;
}

EntryKey KeyOf(const FEINotification& n) { return {n.text1 ? n.text1 : "", n.value, n.offset}; }

void NoteCabinet(Walk& walk, const FEINotification& n) {
    walk.inUse = walk.opening;
    walk.place = ReaderPlace{};
    walk.place.headerRead = true;
    walk.place.declaredSize = n.offset;
    const std::string path = walk.directory + walk.inUse;
    auto& cabinets = walk.outcome->cabinets;
    if (cabinets.empty() || cabinets.back() != path) cabinets.push_back(path);
    if (walk.firstCall) walk.outcome->opened = true;
    if (walk.headerSeen) return;
    walk.headerSeen = true;
    walk.nextCabinet = n.text1 ? n.text1 : "";
    walk.setId = n.setId;
    walk.cabinetIndex = n.cabinetIndex;
}

int CountNotify(int kind, FEINotification* n) {
    auto& walk = *static_cast<Walk*>(n->userContext);
    const CountKey entry{n->text1 ? n->text1 : "", n->value};
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        NoteCabinet(walk, *n);
        break;
    case FEI_NOTIFY_COPY_FILE:
        walk.total += static_cast<uint32_t>(n->value);
        if (ContinuesToNext(n->folderIndex)) walk.continuingToNext.insert(entry);
        break;
    case FEI_NOTIFY_CONTINUED_FILE:
        // Entries wholly inside a continued folder are listed only here.
        if (!walk.continuingFromPrevious.count(entry)) walk.total += static_cast<uint32_t>(n->value);
        if (ContinuesToNext(n->folderIndex)) walk.continuingToNext.insert(entry);
        break;
    default:
        break;
    }
    return FEI_REPLY_CONTINUE;  // declines every file
}

void ReportProgress(const Walk& walk, const std::string& name) {
    if (!walk.request->progress) return;
    int32_t permille = kNoProgress;
    if (walk.total != 0) {
        const uint64_t scaled = (static_cast<uint64_t>(walk.done) * kPermille + walk.total / 2) / walk.total;
        permille = static_cast<int32_t>(scaled < static_cast<uint64_t>(kPermille) ? scaled : kPermille);
    }
    walk.request->progress(walk.request->context, name.c_str(), permille, kPermille);
}

int CreateOutput(Walk& walk, const ReaderEntry& entry) {
    int32_t error = 0;
    switch (walk.request->sink) {
    case ReaderSink::Discard:
        return kDiscardHandle;
    case ReaderSink::StandardOutput: {
        const int handle = platform::DuplicateStandardOutput(&error);
        if (handle < 0) FileFailed(walk, entry, std::string("standard output: ") + std::strerror(error));
        return handle;
    }
    case ReaderSink::Files:
        break;
    }
    walk.outputPath = OutputPathFor(walk.request->destination, entry.name);
    const char* path = walk.outputPath.c_str();
    auto create = walk.request->keepExisting ? platform::CreateNewOutputFile : platform::CreateOutputFile;
    int handle = create(path, &error);
    if (handle < 0 && error == ENOENT) {
        CreateDirectoryPath(ParentDirectory(walk.outputPath));
        handle = create(path, &error);
    }
    if (handle < 0 && error == EEXIST && walk.request->keepExisting) {
        Report(walk, walk.outputPath + ": exists, left alone");
        return FEI_REPLY_SKIP;  // as asked
    }
    if (handle < 0) FileFailed(walk, entry, walk.outputPath + ": cannot create: " + std::strerror(error));
    return handle;
}

int OfferFile(Walk& walk, FEINotification& n) {
    if (!walk.decided.insert(KeyOf(n)).second) return FEI_REPLY_CONTINUE;
    const ReaderEntry entry = EntryOf(n);
    if (walk.request->select && !walk.request->select(walk.request->context, entry)) return FEI_REPLY_CONTINUE;
    ReportProgress(walk, entry.name);
    walk.done += entry.size;
    if (walk.damagedFolders.count(n.folderIndex)) {
        FileFailed(walk, entry, Shown(walk, walk.inUse) + ": folder " + std::to_string(n.folderIndex) + " is damaged");
        return FEI_REPLY_CONTINUE;
    }
    if (IsUnsafeStoredName(entry.name)) {
        FileFailed(walk, entry, Shown(walk, walk.inUse) + ": unsafe file name", true);
        return FEI_REPLY_CONTINUE;
    }
    const int handle = CreateOutput(walk, entry);
    if (handle == 0) return FEI_REPLY_CONTINUE;
    if (handle < 0) {
        if (walk.request->goOnAfterDamage) return FEI_REPLY_CONTINUE;
        walk.abortReported = true;
        return FEI_REPLY_ABORT;
    }
    walk.writing = true;
    walk.current = entry;
    return handle;
}

// Entries whose data begin in an earlier cabinet: on the named cabinet they
// cannot be had; in a later one they were taken with the cabinet before,
// unless their folder was damaged there.
void PassContinuedFile(Walk& walk, const FEINotification& n) {
    if (!walk.firstCall && !walk.continuationDamagedBefore) return;
    if (!walk.decided.insert(KeyOf(n)).second) return;
    const ReaderEntry entry = EntryOf(n);
    if (walk.request->select && !walk.request->select(walk.request->context, entry)) return;
    if (walk.firstCall)
        FileFailed(walk, entry,
                   Shown(walk, walk.inUse) + ": its data begin in the earlier cabinet " + (n.text2 ? n.text2 : "") +
                       " (start from the first cabinet of the set)");
    else
        FileFailed(walk, entry, Shown(walk, walk.inUse) + ": its folder is damaged in the cabinet before");
}

int CloseFile(Walk& walk, const FEINotification& n) {
    ReportProgress(walk, walk.current.name);
    if (walk.request->sink == ReaderSink::Files) {
        // Times and attributes are best effort: a failure leaves the file.
        // Both go through the open handle, which saves looking the path up.
        platform::SetFileDosDateTime(n.handle, n.date, n.time);
        platform::SetHandleAttributes(n.handle, n.attributes & kKeptAttributes);
    }
    // A failed close may have lost written bytes: the file counts as failed.
    if (ExpandClose(n.handle) != 0) return FEI_REPLY_CLOSE_FAILED;
    walk.writing = false;
    ++walk.outcome->filesDone;
    if (walk.request->fileDone) walk.request->fileDone(walk.request->context, walk.current, nullptr);
    return FEI_REPLY_CLOSED;
}

int NextCabinet(Walk& walk, FEINotification& n) {
    if (n.errorCode != 0) {
        ErrorRecord failed{n.errorCode, 0, 1};
        walk.abortReason = Shown(walk, walk.opening) + ": " +
                           DescribeReaderFailure(failed, ReaderPlace{}, LastCabinetAccess());
        return FEI_REPLY_ABORT;
    }
    std::string reason;
    const std::string stored = n.text1 ? n.text1 : "";
    const std::string found = FindNextCabinet(walk.directory, stored, &reason);
    if (found.empty()) {
        walk.abortReason = MissingNext(walk, stored, reason);
        return FEI_REPLY_ABORT;
    }
    std::memcpy(n.text1, found.c_str(), found.size() + 1);
    walk.opening = found;
    return FEI_REPLY_CONTINUE;
}

int TakeNotify(int kind, FEINotification* n) {
    auto& walk = *static_cast<Walk*>(n->userContext);
    if (platform::InterruptRequested()) {
        walk.outcome->interrupted = true;
        return FEI_REPLY_ABORT;
    }
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        NoteCabinet(walk, *n);
        return FEI_REPLY_CONTINUE;
    case FEI_NOTIFY_CONTINUED_FILE:
        PassContinuedFile(walk, *n);
        return FEI_REPLY_CONTINUE;
    case FEI_NOTIFY_COPY_FILE:
        return OfferFile(walk, *n);
    case FEI_NOTIFY_CLOSE_FILE:
        return CloseFile(walk, *n);
    case FEI_NOTIFY_NEXT_CABINET:
        return NextCabinet(walk, *n);
    default:
        return FEI_REPLY_CONTINUE;
    }
}

// Follows where a failure would be: which folder, how many of its blocks
// passed their checks.
int TakeHook(FEIHookRecord* record) {
    auto& walk = *static_cast<Walk*>(record->userContext);
    if (record->kind == FEI_HOOK_FOLDER) {
        walk.place.inFolder = true;
        walk.place.folder = record->folderIndex;
        walk.place.blocksPassed = 0;
    } else if (record->kind == FEI_HOOK_DATA && record->complete) {
        ++walk.place.blocksPassed;
    }
    return FEI_REPLY_CONTINUE;
}

// After a failed call: names what failed and removes the file being
// written. True when the run may read the same cabinet again.
bool AfterFailure(Walk& walk) {
    const bool wasWriting = walk.writing;
    walk.writing = false;
    if (wasWriting && walk.request->sink == ReaderSink::Files) {
        int32_t error = 0;
        platform::DeleteFile(walk.outputPath.c_str(), &error);
    }
    // A signal also shows as a failed write: no words for it, no second try.
    if (platform::InterruptRequested()) walk.outcome->interrupted = true;
    if (walk.outcome->interrupted) return false;
    // A write that failed is the output's fault, not the cabinet's.
    const bool outputFailed = walk.abortReason.empty() && walk.error.errorCode == FEIERR_TARGET_FILE;
    const std::string subject = !outputFailed                                 ? Shown(walk, walk.inUse)
                                : walk.request->sink == ReaderSink::Files ? walk.outputPath
                                                                          : std::string("standard output");
    std::string reason = walk.abortReason;
    if (reason.empty()) reason = subject + ": " + DescribeReaderFailure(walk.error, walk.place, LastCabinetAccess());
    if (walk.abortReported) return false;
    if (!wasWriting) {
        Report(walk, reason);
        return false;
    }
    FileFailed(walk, walk.current, reason);
    if (!walk.request->goOnAfterDamage || walk.error.errorCode == FEIERR_NO_MEMORY) return false;
    if (outputFailed) return true;
    walk.damagedFolders.insert(walk.current.folder);
    if (ContinuesToNext(walk.current.folder) || walk.inUse != walk.calledOn || !walk.abortReason.empty())
        walk.continuationDamaged = true;
    return true;
}

bool TakeFromCabinet(Walk& walk, const std::string& name) {
    walk.damagedFolders.clear();
    walk.calledOn = name;
    for (;;) {
        walk.opening = name;
        walk.inUse = name;
        walk.place = ReaderPlace{};
        walk.abortReason.clear();
        walk.abortReported = false;
        walk.error = ErrorRecord{};
        ForgetCabinetAccess();
        if (FEIExtract(walk.reader, name.c_str(), walk.directory.c_str(), 0, TakeNotify, TakeHook, &walk)) return true;
        if (!AfterFailure(walk)) return false;
    }
}

enum class PassKind { Counting, Taking };

// One pass over the named cabinet and the cabinets that continue it. The
// counting pass stops quietly where it cannot go on; the taking pass then
// names the problem where it meets it.
bool PassOverSet(Walk& walk, const std::string& firstName, PassKind kind) {
    const bool taking = kind == PassKind::Taking;
    std::string name = firstName;
    uint32_t expectedIndex = 0;
    uint16_t setId = 0;
    walk.continuingFromPrevious.clear();
    walk.continuationDamaged = false;
    for (bool first = true;; first = false) {
        if (!first) {
            std::string reason;
            const std::string found = FindNextCabinet(walk.directory, name, &reason);
            if (found.empty()) {
                if (taking && walk.missingNamed != name) Report(walk, MissingNext(walk, name, reason));
                return false;
            }
            name = found;
        }
        // The engine keeps the path and the joined path in name buffers.
        if (walk.directory.size() + name.size() >= FEI_NAME_BUFFER_SIZE) {
            if (taking) Report(walk, Shown(walk, name) + ": path too long for the reader");
            return false;
        }
        walk.firstCall = first;
        walk.headerSeen = false;
        walk.continuingToNext.clear();
        walk.opening = name;
        walk.continuationDamagedBefore = walk.continuationDamaged;
        walk.continuationDamaged = false;
        const bool read = taking ? TakeFromCabinet(walk, name)
                                 : FEIExtract(walk.reader, name.c_str(), walk.directory.c_str(), 0, CountNotify,
                                              nullptr, &walk) != 0;
        if (!read || !walk.headerSeen) return false;
        // Each cabinet must be the next of the same set, which also stops a
        // set whose names run in a circle.
        if (!first && (walk.setId != setId || walk.cabinetIndex != expectedIndex)) {
            if (taking) Report(walk, Shown(walk, name) + ": not the next cabinet of the set");
            return false;
        }
        if (walk.nextCabinet.empty()) return true;
        if (walk.cabinetIndex >= CAB_MAX_COUNT) return false;
        setId = walk.setId;
        expectedIndex = walk.cabinetIndex + 1u;
        name = walk.nextCabinet;
        walk.continuingFromPrevious = std::move(walk.continuingToNext);
        walk.continuingToNext = {};
    }
}

}  // namespace

ReaderOutcome ReadCabinetSet(const ReaderRequest& request) {
    ReaderOutcome outcome;
    Walk walk;
    walk.request = &request;
    walk.outcome = &outcome;
    SetNamedCabinet(request.cabinetPath.c_str());

    walk.reader = FEICreate(ReaderAlloc, EngineFree, ExpandOpen, ExpandRead, ExpandWrite, ExpandClose, ExpandSeek,
                            kCpuType, &walk.error);
    if (walk.reader == nullptr) {
        Report(walk, "out of memory");
        outcome.stopped = true;
        return outcome;
    }
    // "in/pack.cab" gives the directory "in/" (separator kept) and the name.
    const std::string name(FileNamePart(request.cabinetPath));
    walk.directory = request.cabinetPath.substr(0, request.cabinetPath.size() - name.size());

    if (request.progress) {
        PassOverSet(walk, name, PassKind::Counting);
        outcome = ReaderOutcome{};
    }
    if (!PassOverSet(walk, name, PassKind::Taking)) outcome.stopped = true;
    FEIDestroy(walk.reader);
    return outcome;
}

}  // namespace treepak
