// cabwrite's side of the writer engine: the client callbacks (through the
// platform layer) and what they keep track of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fci/fci.h"

struct WriterClient {
    std::string directory;    // where the cabinets go, with its trailing '/'
    std::string nextPattern;  // file names of further cabinets
    std::string diskPattern;  // disk names of further cabinets
    bool verbose = false;
    std::vector<std::string> cabinetNames;  // every cabinet named so far, in order
    size_t cabinetsWritten = 0;
    std::string failure;  // set by a callback that refuses to go on
    // Set before each file is added: its stored name has bytes of 0x80 or
    // more, so its entry carries the attribute bit that marks UTF-8 names.
    bool storedNameIsUtf8 = false;
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

// The text of a writer error code.
const char* WriterErrorText(int32_t code);
