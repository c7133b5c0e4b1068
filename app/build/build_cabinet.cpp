// The build driver: every listed file goes into the cabinet through the
// writer engine, in list order, one folder per file (random access to each
// file) or, with -X, all in one folder (the compressor's history runs on
// across files). With the automatic decision, a file whose compressed size
// came to more than 90% of its size is stored in a second pass: with a
// folder per file, each folder is flushed right after its file is added, so
// the totals of that flush cover exactly the file's own blocks. Both passes
// share a memo of compressed blocks: in the second, every file whose folder
// comes out the same costs a read and a copy instead of its compression.
// Worker threads fill the memo ahead of the engine during the first pass,
// block by block, with one folder per file or all in one.
#include "app/build/build_cabinet.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/build/block_memo.h"
#include "app/build/build_callbacks.h"
#include "app/build/build_names.h"
#include "app/build/build_report.h"
#include "app/build/cab_params.h"
#include "app/build/precompress.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "app/cli/progress_display.h"
#include "app/common/diagnostics.h"
#include "app/common/name_encoding.h"
#include "app/common/path_helpers.h"
#include "cabinet/format.h"
#include "platform/file_io.h"
#include "platform/file_status.h"
#include "platform/interrupts.h"

namespace treepak {

namespace {

// A file whose compressed share of its own bytes is above this is stored.
constexpr double kWorthCompressingRatio = 0.9;
// Steps of the progress display over one pass.
constexpr int kProgressSteps = 79;

constexpr std::string_view kKvfExtension = ".kvf";

std::vector<std::string> lastBuildCabinets;

void PrintFailure(const char* operation, const ErrorRecord& error) {
    PrintLine("%s() failed: code %d [%s]\n", operation, error.errorCode, FCIErrorText(error.errorCode));
}

// Advances the display when the file index crosses one of the steps; the
// last file ends the console's progress line.
void ProgressStep(int i, int n) {
    if (n > 1 && (kProgressSteps * i) / (n - 1) != (kProgressSteps * i - kProgressSteps) / (n - 1)) {
        StepProgressDisplay();
    }
    if (i == n - 1) PrintLine("\n");
}

uint16_t TypeFor(const std::string& storedName, bool compress) {
    if (!compress) return COMPRESS_NONE;
    return EndsWithIgnoreCase(storedName, kKvfExtension) ? Options.kvfCompressType : Options.compressType;
}

void DeleteCabinets(const BuildClientTotals& totals) {
    int32_t error = 0;
    platform::DeleteFile(Paths.cabinetPath.c_str(), &error);
    std::string directory = CabinetDirectoryOf(Paths.cabinetPath);
    for (int32_t number = BUILD_FIRST_CABINET_NUMBER + 1; number <= totals.lastCabinetNumber; ++number) {
        std::string path = directory + NextCabinetName(totals.firstCabinetName, number);
        platform::DeleteFile(path.c_str(), &error);
    }
}

// The engine creates the cabinet only when a pass ends. A location it could
// not write fails the build the same way, but before anything is compressed:
// an existing file is opened for writing (not truncated), a missing one is
// created and removed again.
bool CabinetCanBeCreated() {
    const char* path = Paths.cabinetPath.c_str();
    int32_t error = 0;
    int32_t handle = platform::OpenFile(
        path, platform::OPEN_BINARY | platform::OPEN_WRITE_ONLY | platform::OPEN_CREATE | platform::OPEN_EXCLUSIVE,
        platform::MODE_READ | platform::MODE_WRITE, &error);
    const bool created = handle >= 0;
    if (!created && error == EEXIST)
        handle = platform::OpenFile(path, platform::OPEN_BINARY | platform::OPEN_WRITE_ONLY, 0, &error);
    if (handle >= 0) {
        platform::CloseFile(handle, &error);
        if (created) platform::DeleteFile(path, &error);
        return true;
    }
    ReportFailure("%s: cannot create the cabinet: %s", path, std::strerror(error));
    PrintFailure("FCIFlushCabinet", ErrorRecord{FCIERR_CABINET_FILE, error, 1});
    return false;
}

// Adds every file; false after printing the failure (the context is then
// fit only for FCIDestroy).
bool AddFiles(FCIContext* context, FileList* list, bool autoCompress, BuildClientTotals* totals,
              const ErrorRecord& error, bool* rerun, Precompressor* precompressor) {
    uint32_t previousCompressed = 0, previousUncompressed = 0;
    const int count = list->count();
    FileList::Reader files(*list);
    for (int i = 0; i < count; ++i) {
        FileList::Entry file{};
        if (!files.Next(&file)) {
            ListReadBack(*list);
            return false;
        }
        std::string storedName = StoredNameFor(file.path, Paths.source, Options.flatten);
        if (!Options.verbose && Options.showLogo) ProgressStep(i, count);
        uint16_t type = TypeFor(storedName, list->Compress(i));
        totals->storedNameIsUtf8 = HasNonAsciiByte(storedName);
        if (precompressor != nullptr) precompressor->BeforeFile(i);
        if (!FCIAddFile(context, file.path, storedName.c_str(), 0, BuildGetNextCabinet, BuildStatus,
                        BuildGetOpenInfo, type)) {
            PrintFailure("FCIAddFile", error);
            return false;
        }
        // Files from BUILD_MAX_FOLDERS on share the last folder.
        const bool endsFolder = !Options.singleFolder && (i + 1 < BUILD_MAX_FOLDERS || i == count - 1);
        if (endsFolder && !FCIFlushFolder(context, BuildGetNextCabinet, BuildStatus)) {
            PrintFailure("FCIFlushFolder", error);
            return false;
        }
        if (autoCompress) {
            // Everything reported since the previous file was judged: its own
            // folder's blocks, or with -X what its add reported. 0/0 is NaN
            // and keeps the flag; a positive count over 0 is infinite and
            // clears it.
            auto dc = static_cast<int32_t>(totals->compressedTotal - previousCompressed);
            auto du = static_cast<int32_t>(totals->uncompressedTotal - previousUncompressed);
            if (static_cast<double>(dc) / static_cast<double>(du) > kWorthCompressingRatio) {
                list->SetCompress(i, false);
                *rerun = true;
            }
            previousCompressed = totals->compressedTotal;
            previousUncompressed = totals->uncompressedTotal;
        }
    }
    return true;
}

// File i starts a folder where AddFiles flushed one after the file before.
bool StartsFolder(int i) { return i == 0 || (!Options.singleFolder && i < BUILD_MAX_FOLDERS); }

// Where the data area starts in a build that needs one cabinet only: after
// the header, one folder record per folder (a new type word closes one as
// well) and one entry per file. The engine checks the guess: a wrong one
// costs a copy of the data area, nothing else.
uint32_t ExpectedDataOffset(const FileList& list) {
    uint64_t offset = CFHEADER_SIZE;
    uint16_t previousType = 0;
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file);) {
        const std::string storedName = StoredNameFor(file.path, Paths.source, Options.flatten);
        const uint16_t type = TypeFor(storedName, list.Compress(file.index));
        if (StartsFolder(file.index) || type != previousType) offset += CFFOLDER_SIZE;
        offset += CFFILE_SIZE + storedName.size() + 1;
        previousType = type;
    }
    return offset <= UINT32_MAX ? static_cast<uint32_t>(offset) : 0;
}

// The engine writes a cabinet's data into the cabinet file from the first
// block on, so a listed file that is the cabinet itself (under any name)
// would be read after it was cut short. Such a build lets the engine copy
// the data over at the end instead, after every file was read. Only files
// as large as the cabinet need a look.
bool CabinetIsListed(const FileList& list) {
    platform::FileStatus cabinet{}, source{};
    int32_t error = 0;
    if (!platform::GetFileStatus(Paths.cabinetPath.c_str(), &cabinet, &error)) return false;
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file);) {
        if (static_cast<int64_t>(file.size) == cabinet.size && platform::GetFileStatus(file.path, &source, &error) &&
            platform::SameFile(source, cabinet))
            return true;
    }
    return false;
}

uint16_t TypeOf(const FileList& list, const FileList::Entry& file) {
    return TypeFor(StoredNameFor(file.path, Paths.source, Options.flatten), list.Compress(file.index));
}

// A file's type word for the workers: a block-deflate type, else 0.
uint16_t WorkerTypeOf(const FileList& list, const FileList::Entry& file) {
    const uint16_t type = TypeOf(list, file);
    return CompressKind(type) == COMPRESS_DEFLATE ? type : uint16_t{0};
}

// The sources as the engine will read them, for the workers, read from the
// list as the workers get to them: block-deflate files get their type word
// (the others 0), and a file starts a folder where AddFiles flushes one.
PrecompressFeed PrecompressSources(const FileList& list) {
    auto files = std::make_shared<FileList::Reader>(list);
    return [&list, files](PrecompressSource* source) {
        FileList::Entry file{};
        if (!files->Next(&file)) return false;
        *source = PrecompressSource{file.path, static_cast<uint32_t>(file.size), WorkerTypeOf(list, file),
                                    StartsFolder(file.index)};
        return true;
    };
}

// What the list's types leave for the memo (any compressed file) and for
// the workers (any block-deflate file).
struct CompressedKinds {
    bool any = false;
    bool deflate = false;
};

CompressedKinds CompressedKindsOf(const FileList& list) {
    CompressedKinds kinds;
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file) && !kinds.deflate;) {
        const uint16_t type = TypeOf(list, file);
        kinds.any = kinds.any || CompressKind(type) != COMPRESS_NONE;
        kinds.deflate = kinds.deflate || CompressKind(type) == COMPRESS_DEFLATE;
    }
    return kinds;
}

// One pass over the list; 1 on success. *rerun is set when the automatic
// decision marked a file to be stored. With dataInPlace the engine is told
// where the data area starts.
int BuildPass(FileList* list, bool autoCompress, bool dataInPlace, bool* rerun, BuildClientTotals* totals,
              BlockMemo* memo, int workers) {
    CabParams params;
    FillCabParams(&params, Paths.cabinetPath);
    *totals = BuildClientTotals{0, 0, params.cabinetName, BUILD_FIRST_CABINET_NUMBER, {}};
    ErrorRecord error = {};
    FCIContext* context = FCICreate(&error, BuildFilePlaced, WriterAlloc, EngineFree, BuildOpen, BuildRead,
                                    BuildWrite, BuildClose, BuildSeek, BuildDelete, BuildGetTempFile, &params, totals);
    if (context == nullptr) {
        PrintFailure("FCICreate", error);
        return 0;
    }
    if (dataInPlace) {
        totals->expectedDataOffset = ExpectedDataOffset(*list);
        FCISetDataAreaOffset(context, BuildDataAreaOffset);
    }
    const FCIBlockMemo memoCallbacks = memo != nullptr ? memo->Callbacks() : FCIBlockMemo{};
    if (memo != nullptr) FCISetBlockMemo(context, memoCallbacks.lookup, memoCallbacks.store, memoCallbacks.chainStart, memo);
    std::unique_ptr<Precompressor> precompressor;
    if (memo != nullptr && workers > 0)
        precompressor = std::make_unique<Precompressor>(memoCallbacks, PrecompressSources(*list), workers);
    totals->workers = precompressor.get();
    const bool added = AddFiles(context, list, autoCompress, totals, error, rerun, precompressor.get());
    precompressor.reset();
    totals->workers = nullptr;
    if (!added) {
        FCIDestroy(context);
        return 0;
    }
    if (!FCIFlushCabinet(context, 0, BuildGetNextCabinet, BuildStatus)) {
        PrintFailure("FCIFlushCabinet", error);
        FCIDestroy(context);
        return 0;
    }
    if (FCIDestroy(context) != 1) {
        PrintFailure("FCIDestroy", error);
        return 0;
    }
    PrintVerbose("                                                 \r");
    if (Options.showLogo) {
        auto size = static_cast<uint32_t>(FileSizeOf(Paths.cabinetPath.c_str()));
        PrintLine("Stored %d files (%s bytes) in %s bytes (%d%%)\n", list->count(),
                  FormatNumber(static_cast<int32_t>(totals->uncompressedTotal)).c_str(),
                  FormatNumber(static_cast<int32_t>(size)).c_str(),
                  static_cast<int>(PercentOf(size, totals->uncompressedTotal)));
    }
    return 1;
}

}  // namespace

void DeleteFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        int32_t error = 0;
        platform::DeleteFile(path.c_str(), &error);
    }
}

const std::vector<std::string>& CabinetsOfLastBuild() { return lastBuildCabinets; }

int BuildCabinet(FileList* list, bool autoCompress) {
    lastBuildCabinets.clear();
    if (!CheckBuildFits(*list, Paths.source, Paths.cabinetPath, Options.flatten) ||
        !CheckSizesFit(*list, Options.singleFolder) || !CabinetCanBeCreated()) {
        return 0;
    }
    const bool dataInPlace = !CabinetIsListed(*list);
    const CompressedKinds kinds = CompressedKindsOf(*list);
    // Without workers, only a build that may run twice reuses blocks; the
    // workers take block-deflate files only.
    const int workers = kinds.deflate ? PrecompressThreads() : 0;
    BlockMemo memo;
    BlockMemo* usedMemo = (autoCompress || workers > 0) && kinds.any && memo.Open(BUILD_TEMP_PREFIX) ? &memo : nullptr;
    // The second pass finds every block the first compressed in the memo.
    bool firstPass = true;
    // At most two passes: the second stores what the first found not worth
    // compressing, and runs no decision of its own.
    for (bool decide = autoCompress;; decide = false) {
        bool rerun = false;
        BuildClientTotals totals;
        const bool passed =
            BuildPass(list, decide, dataInPlace, &rerun, &totals, usedMemo, firstPass ? workers : 0);
        firstPass = false;
        if (!passed) {
            // A failed pass leaves its cabinets for inspection, except after
            // an interrupt: the user asked for the run to leave nothing.
            if (platform::InterruptRequested()) DeleteFiles(totals.cabinetsCreated);
            return 0;
        }
        if (!rerun) {
            lastBuildCabinets = totals.cabinetsCreated;
            return 1;
        }
        DeleteCabinets(totals);
    }
}

}  // namespace treepak
