// cabwrite's side of the writer engine: what its callbacks keep track of,
// and the callback table. File access is the shared one of
// app/common/writer_callbacks.h; what is cabwrite's own is the naming and
// checking of further cabinets, the stored times and attributes, the
// verbose and dry-run lines, and the counts of the summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fci/fci.h"
#include "inputs.h"
#include "output_safety.h"
#include "stored_times.h"

namespace treepak {

class Precompressor;

struct WriterClient {
    std::string directory;    // where the cabinets go, with its trailing '/'
    std::string nextPattern;  // file names of further cabinets
    std::string diskPattern;  // disk names of further cabinets
    bool verbose = false;
    bool dryRun = false;  // cabinets go to nameless scratch files
    OutputRules outputRules;
    TimePolicy times;
    AttributeMode attributes = AttributeMode::Keep;
    const InputFile* current = nullptr;  // the file being added

    std::vector<std::string> cabinetNames;     // every cabinet named so far, in order
    std::vector<std::string> cabinetsCreated;  // paths opened as cabinets: a failed run removes them
    size_t cabinetsWritten = 0;
    uint64_t bytesOut = 0;
    // Folders of the set so far. A folder is placed in passes, one per
    // cabinet it reaches; a pass whose first entry is not continued from
    // the previous cabinet starts a new folder.
    uint32_t folders = 0;
    bool passStarted = false;
    std::string failure;  // set by a callback that refuses to go on
    // Workers compressing ahead, told of every read of the open source.
    Precompressor* workers = nullptr;
    int32_t sourceHandle = -1;
    bool folderPlaced = false;  // a folder went into a cabinet
};

struct WriterCallbacks {
    FCIFilePlacedFn filePlaced;
    FCIAllocFn alloc;
    FCIFreeFn free;
    FCIOpenFn open;
    FCIReadFn read;
    FCIWriteFn write;
    FCICloseFn close;
    FCISeekFn seek;
    FCIDeleteFn remove;
    FCIGetTempFileFn getTempFile;
    FCIGetNextCabinetFn getNextCabinet;
    FCIStatusFn status;
    FCIGetOpenInfoFn getOpenInfo;
};

const WriterCallbacks& CabwriteCallbacks();

}  // namespace treepak
