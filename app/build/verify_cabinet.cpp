// The reader engine's callbacks get no client context, only the
// notifications do; the one check running at a time keeps its state in a
// file-scope pointer. An output "handle" handed to the engine is the
// source file opened for reading: each write compares the engine's bytes
// with the next bytes of the source instead of storing them.
#include "app/build/verify_cabinet.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/build/build_callbacks.h"
#include "app/build/build_names.h"
#include "app/common/path_helpers.h"
#include "cabinet/error_record.h"
#include "fei/fei.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"
#include "platform/sync.h"

namespace treepak {

namespace {

constexpr int kCpuType = 1;
// A set can have no more cabinets than its 16-bit cabinet index counts;
// more calls than that means the names run in a circle.
constexpr int kMaxCabinetsInSet = 0x10000;

BeforeVerifyHook beforeVerify = nullptr;

struct VerifyState {
    explicit VerifyState(const FileList& list) : listed(list) {}
    FileList::Reader listed;  // at the next file the cabinet should hold
    std::string sourceDir;
    bool flatten = false;
    std::string openName;  // stored name of the file being compared
    int verified = 0;
    bool headerSeen = false;
    std::string nextCabinet;
    std::string reason;    // the first thing found wrong
    std::vector<uint8_t> sourceBytes;
};

VerifyState* active = nullptr;

void Fail(const std::string& reason) {
    if (active->reason.empty()) active->reason = reason;
}

int VerifyOpen(const char* path, int flags, int) {
    // Nothing here ever creates a file; the cabinets the build writes never
    // need a decoder's spill file.
    if (platform::InterruptRequested() || (flags & platform::OPEN_CREATE)) return -1;
    int32_t error = 0;
    return platform::OpenFile(path, platform::OPEN_READ_ONLY, 0, &error);
}

int32_t VerifyRead(int handle, void* buffer, uint32_t count) {
    if (platform::InterruptRequested()) return -1;
    int32_t error = 0;
    return platform::ReadFile(handle, buffer, count, &error);
}

int32_t VerifyWrite(int handle, const void* buffer, uint32_t count) {
    if (platform::InterruptRequested()) return -1;
    if (active->sourceBytes.size() < count) active->sourceBytes.resize(count);
    int32_t error = 0;
    const int32_t got = platform::ReadFile(handle, active->sourceBytes.data(), count, &error);
    if (got != static_cast<int32_t>(count) || std::memcmp(active->sourceBytes.data(), buffer, count) != 0) {
        Fail(active->openName + " differs from its source");
        return -1;
    }
    return static_cast<int32_t>(count);
}

int VerifyClose(int handle) {
    int32_t error = 0;
    return platform::CloseFile(handle, &error);
}

int32_t VerifySeek(int handle, int32_t offset, int origin) {
    int32_t error = 0;
    const int64_t position = platform::SeekFile(handle, offset, origin, &error);
    return position < 0 || position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}

int OpenListedSource(const FEINotification& notification) {
    FileList::Entry file{};
    if (!active->listed.Next(&file)) {
        Fail(std::string("the cabinet holds more files than were listed: ") + notification.text1);
        return FEI_REPLY_ABORT;
    }
    std::string storedName = StoredNameFor(file.path, active->sourceDir, active->flatten);
    if (storedName != notification.text1) {
        Fail("expected " + storedName + ", found " + notification.text1);
        return FEI_REPLY_ABORT;
    }
    int32_t error = 0;
    const int32_t handle = platform::OpenFile(file.path, platform::OPEN_READ_ONLY, 0, &error);
    if (handle < 0) {
        Fail(std::string("cannot read the source ") + file.path + ": " + std::strerror(error));
        return FEI_REPLY_ABORT;
    }
    active->openName = std::move(storedName);
    return handle;
}

// The engine has written all of the file: the source must end here too.
int CloseListedSource(const FEINotification& notification) {
    uint8_t extra = 0;
    int32_t error = 0;
    const bool atEnd = platform::ReadFile(notification.handle, &extra, 1, &error) == 0;
    VerifyClose(notification.handle);
    if (!atEnd) {
        Fail(active->openName + " is shorter in the cabinet than its source");
        return FEI_REPLY_ABORT;
    }
    ++active->verified;
    return FEI_REPLY_CLOSED;
}

int VerifyNotify(int kind, FEINotification* notification) {
    if (platform::InterruptRequested()) {
        Fail("interrupted");
        return FEI_REPLY_ABORT;
    }
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        // Later notices of the same call are cabinets the engine moved into
        // to finish a continued file.
        if (!active->headerSeen) {
            active->headerSeen = true;
            active->nextCabinet = notification->text1 ? notification->text1 : "";
        }
        return FEI_REPLY_CONTINUE;
    case FEI_NOTIFY_COPY_FILE:
        return OpenListedSource(*notification);
    case FEI_NOTIFY_CLOSE_FILE:
        return CloseListedSource(*notification);
    case FEI_NOTIFY_NEXT_CABINET:
        // A second request for the same cabinet means it is missing or wrong.
        return notification->errorCode == 0 ? FEI_REPLY_CONTINUE : FEI_REPLY_ABORT;
    default:
        return FEI_REPLY_CONTINUE;
    }
}

bool WalkSet(FEIContext* reader, const std::string& firstCabinet, const ErrorRecord& error) {
    const std::string directory = firstCabinet.substr(0, firstCabinet.size() - FileNamePart(firstCabinet).size());
    std::string name(FileNamePart(firstCabinet));
    for (int calls = 0; calls < kMaxCabinetsInSet; ++calls) {
        active->headerSeen = false;
        if (!FEIExtract(reader, name.c_str(), directory.c_str(), 0, VerifyNotify, nullptr, active)) {
            Fail("the reader failed on " + directory + name + " with code " + std::to_string(error.errorCode));
            return false;
        }
        if (active->nextCabinet.empty()) return true;
        name = active->nextCabinet;
    }
    Fail("the cabinets' next names run in a circle");
    return false;
}

}  // namespace

bool FlushCabinets(const std::vector<std::string>& cabinets, std::string* reason) {
    for (const std::string& cabinet : cabinets) {
        int32_t error = 0;
        std::string directory = cabinet.substr(0, cabinet.size() - FileNamePart(cabinet).size());
        if (platform::SyncFile(cabinet.c_str(), &error) != 0 ||
            platform::SyncDirectory(directory.c_str(), &error) != 0) {
            *reason = "cannot flush " + cabinet + " to disk: " + std::strerror(error);
            return false;
        }
    }
    return true;
}

bool VerifyCabinetSet(const std::string& firstCabinet, const FileList& list, const std::string& sourceDir,
                      bool flatten, std::string* reason) {
    VerifyState state(list);
    state.sourceDir = sourceDir;
    state.flatten = flatten;
    active = &state;

    ErrorRecord error{};
    FEIContext* reader = FEICreate(ReaderAlloc, EngineFree, VerifyOpen, VerifyRead, VerifyWrite, VerifyClose,
                                   VerifySeek, kCpuType, &error);
    if (reader == nullptr) {
        Fail("the reader could not start");
    } else {
        WalkSet(reader, firstCabinet, error);
        FEIDestroy(reader);
    }
    if (state.reason.empty() && list.ReadError() != 0)
        Fail(std::string("cannot read back the list of files: ") + std::strerror(list.ReadError()));
    if (state.reason.empty() && state.verified != list.count()) {
        Fail("found " + std::to_string(state.verified) + " of " + std::to_string(list.count()) + " files");
    }
    active = nullptr;
    *reason = state.reason;
    return state.reason.empty();
}

void SetBeforeVerifyHook(BeforeVerifyHook hook) { beforeVerify = hook; }

BeforeVerifyHook GetBeforeVerifyHook() { return beforeVerify; }

}  // namespace treepak
