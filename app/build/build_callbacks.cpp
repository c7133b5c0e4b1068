#include "app/build/build_callbacks.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/build/build_report.h"
#include "app/build/cab_params.h"
#include "app/build/precompress.h"
#include "app/cli/console.h"
#include "app/common/diagnostics.h"
#include "app/common/writer_callbacks.h"
#include "app/temp_store/writer_files.h"
#include "cabinet/format.h"
#include "platform/dos_time.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"
#include "platform/source_files.h"
#include "platform/temp_names.h"

namespace treepak {

namespace {

constexpr int32_t kAbort = -1;

BuildClientTotals* TotalsOf(void* context) { return static_cast<BuildClientTotals*>(context); }

bool Interrupted(int32_t* error) {
    if (!platform::InterruptRequested()) return false;
    *error = EINTR;
    return true;
}

// An interrupt makes the callbacks fail on purpose; that needs no report.
void ReportWriteFailure(BuildClientTotals* totals, int32_t handle, int32_t error) {
    if (totals == nullptr || totals->writeFailureReported || platform::InterruptRequested()) return;
    const auto found = totals->writerPaths.find(handle);
    if (found == totals->writerPaths.end()) return;
    totals->writeFailureReported = true;
    ReportFailure("%s: cannot write: %s", found->second.c_str(), std::strerror(error));
}

// A source the engine stopped reading before its end went no further.
void CheckSourceUnchanged(SourceBeingRead* source) {
    platform::FileStamp now{};
    const bool known = platform::GetFileStamp(source->handle, &now);
    if (source->atEnd && (!known || now != source->stamp ||
                          source->bytesRead != static_cast<uint64_t>(source->stamp.size))) {
        ReportProblem("%s: changed while it was read; the cabinet holds the %llu bytes read", source->path.c_str(),
                      static_cast<unsigned long long>(source->bytesRead));
    }
    source->handle = -1;
}

}  // namespace

int32_t BuildOpen(const char* path, int32_t openFlags, int32_t mode, int32_t* error, void* context) {
    if (Interrupted(error)) return -1;
    int32_t handle = WriterOpen(path, openFlags, mode, error, context);
    if (context == nullptr) return handle;
    BuildClientTotals* totals = TotalsOf(context);
    if (handle < 0) {
        if (IsCabinetOpen(openFlags)) ReportFailure("%s: cannot create the cabinet: %s", path, std::strerror(*error));
        return handle;
    }
    totals->writerPaths[handle] = path;
    if (IsCabinetOpen(openFlags)) {
        std::vector<std::string>& created = totals->cabinetsCreated;
        if (created.empty() || created.back() != path) created.emplace_back(path);
    }
    return handle;
}

// The source being read is followed: its failures reported, its end noted.
int32_t BuildRead(int32_t handle, void* buffer, uint32_t count, int32_t* error, void* context) {
    if (Interrupted(error)) return -1;
    SourceBeingRead* source = context != nullptr ? &TotalsOf(context)->source : nullptr;
    Precompressor* workers = source != nullptr && source->handle == handle ? TotalsOf(context)->workers : nullptr;
    if (workers != nullptr) workers->BeforeRead(count);
    const int32_t got = WriterRead(handle, buffer, count, error, context);
    if (workers != nullptr) workers->AfterRead(got);
    if (source == nullptr || source->handle != handle) return got;
    if (got < 0) ReportFailure("%s: cannot read: %s", source->path.c_str(), std::strerror(*error));
    if (got == 0) source->atEnd = true;
    if (got > 0) source->bytesRead += static_cast<uint32_t>(got);
    return got;
}

int32_t BuildWrite(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void* context) {
    if (Interrupted(error)) return -1;
    int32_t failure = 0;
    const int32_t written = WriterWrite(handle, buffer, count, &failure, context);
    if (failure != 0) {
        *error = failure;
        ReportWriteFailure(TotalsOf(context), handle, failure);
    }
    return written;
}

int32_t BuildClose(int32_t handle, int32_t* error, void* context) {
    BuildClientTotals* totals = TotalsOf(context);
    if (WriterFiles::Owns(handle)) {
        // Buffered bytes reach the disk here.
        const int32_t result = WriterClose(handle, error, context);
        if (result != 0) ReportWriteFailure(totals, handle, *error);
        if (totals != nullptr) totals->writerPaths.erase(handle);
        return result;
    }
    if (totals != nullptr && totals->source.handle == handle) CheckSourceUnchanged(&totals->source);
    return WriterClose(handle, error, context);
}

int32_t BuildSeek(int32_t handle, int32_t offset, int origin, int32_t* error, void* context) {
    return WriterSeek(handle, offset, origin, error, context);
}

int32_t BuildDelete(const char* path, int32_t* error, void* context) { return WriterDelete(path, error, context); }

int32_t BuildGetTempFile(char* buffer, int32_t bufferSize, void*) {
    return WriterTempName(BUILD_TEMP_PREFIX, buffer, bufferSize);
}

int32_t BuildFilePlaced(CabParams* current, const char* nameInCabinet, uint32_t fileSize, int32_t continuation,
                        void*) {
    if (platform::InterruptRequested()) return kAbort;
    PrintVerbose("   placed file '%s' (size %d) on cabinet '%s'\n", nameInCabinet, static_cast<int>(fileSize),
                 current->cabinetName);
    if (continuation) PrintVerbose("      (Above file is a later segment of a continued file)\n");
    return 0;
}

// A build past the largest cabinet size goes on in cabinets named after the
// first with their number before the extension.
int32_t BuildGetNextCabinet(CabParams* next, uint32_t, void* context) {
    if (platform::InterruptRequested()) return kAbort;
    BuildClientTotals* totals = TotalsOf(context);
    std::string name = NextCabinetName(totals->firstCabinetName, next->cabinetNumber);
    if (name.size() >= FCI_NAME_SIZE) return kAbort;
    std::memcpy(next->cabinetName, name.c_str(), name.size() + 1);
    if (next->cabinetNumber > totals->lastCabinetNumber) totals->lastCabinetNumber = next->cabinetNumber;
    return 1;
}

int32_t BuildStatus(uint32_t kind, uint32_t size1, uint32_t size2, void* context) {
    if (platform::InterruptRequested()) return kAbort;
    BuildClientTotals* totals = TotalsOf(context);
    if (kind == FCI_STATUS_FILE) {
        totals->compressedTotal += size1;
        totals->uncompressedTotal += size2;
        PrintVerbose("   Compressing: %9ld -> %9ld             \r", static_cast<long>(totals->uncompressedTotal),
                     static_cast<long>(totals->compressedTotal));
        std::fflush(stdout);
    } else if (kind == FCI_STATUS_FOLDER) {
        PrintVerbose("Copying folder to cabinet: %d%%      \r", static_cast<int>(PercentOf(size1, size2)));
        std::fflush(stdout);
    }
    return 0;
}

uint32_t BuildDataAreaOffset(const CabParams* cabinet, void* context) {
    return cabinet->cabinetNumber == BUILD_FIRST_CABINET_NUMBER ? TotalsOf(context)->expectedDataOffset : 0;
}

int32_t BuildGetOpenInfo(const char* sourcePath, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t*,
                         void* context) {
    // The error output stays untouched on both failure paths.
    platform::FileStamp stamp;
    int32_t openError = 0;
    const int32_t handle = WriterOpenSource(sourcePath, date, time, attributes, TotalsOf(context)->storedNameIsUtf8,
                                            &stamp, &openError);
    if (handle < 0) {
        if (openError != 0) ReportFailure("%s: cannot open: %s", sourcePath, std::strerror(openError));
        return -1;
    }
    TotalsOf(context)->source = SourceBeingRead{sourcePath, handle, stamp, 0, false};
    return handle;
}

}  // namespace treepak
