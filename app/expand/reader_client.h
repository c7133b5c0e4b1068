// The reader client shared by treepak's expand mode and cabread: walks a
// cabinet and the cabinets that continue it through the reader engine, asks
// its caller which files to take and where their bytes go (files under a
// directory, standard output, or nowhere when only testing), and names
// every problem in one line of text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace treepak {

// One file entry as the client shows it.
struct ReaderEntry {
    std::string name;  // as extraction names it: UTF-8, the stored '\' separators
    uint32_t size = 0;
    uint32_t offset = 0;  // in its folder's uncompressed stream
    uint16_t folder = 0;  // as stored, continuation marks included
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;  // as stored
};

enum class ReaderSink { Files, Discard, StandardOutput };

struct ReaderFailure {
    std::string text;  // what and why, naming the cabinet or the output path
    bool unsafeName = false;
};

using ReaderSelectFn = bool (*)(void* context, const ReaderEntry& entry);
// A problem that is no single file's, or a note ("exists, left alone").
using ReaderReportFn = void (*)(void* context, const std::string& message);
// A taken file is complete (failure null) or not extracted; a file that
// failed leaves nothing behind.
using ReaderFileDoneFn = void (*)(void* context, const ReaderEntry& entry, const ReaderFailure* failure);
// Called with the file's stored name and the share of bytes offered so far
// in thousandths (value, scale 1000); -1 when there is nothing to measure.
using ReaderProgressFn = void (*)(void* context, const char* fileName, int32_t value, int32_t scale);

struct ReaderRequest {
    std::string cabinetPath;
    std::string shownPath;  // the cabinet's name in messages; empty: cabinetPath
    ReaderSink sink = ReaderSink::Files;
    std::string destination;
    bool keepExisting = false;     // existing outputs stay (named) instead of being replaced
    bool goOnAfterDamage = false;  // a failed file costs its folder only, not the run
    ReaderSelectFn select = nullptr;  // null takes every file
    ReaderReportFn report = nullptr;
    ReaderFileDoneFn fileDone = nullptr;
    ReaderProgressFn progress = nullptr;  // null: no counting pass
    void* context = nullptr;
};

struct ReaderOutcome {
    bool opened = false;       // the named cabinet's header was read
    bool stopped = false;      // a failure ended the run before the end of the set
    bool interrupted = false;  // a signal ended it
    uint32_t filesDone = 0;
    uint32_t filesFailed = 0;           // each one named
    std::vector<std::string> cabinets;  // paths of the cabinets read, in order
};

ReaderOutcome ReadCabinetSet(const ReaderRequest& request);

}  // namespace treepak
