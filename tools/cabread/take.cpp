#include "take.h"

#include <cinttypes>
#include <cstdio>

#include "app/expand/reader_client.h"
#include "exit_status.h"
#include "listing.h"
#include "report.h"
#include "selection.h"

namespace treepak {

namespace {

struct TakeRun {
    const CabreadOptions* options = nullptr;
    Selection selection;
    uint64_t bytes = 0;
};

bool Select(void* context, const ReaderEntry& entry) {
    return SelectionTakes(&static_cast<TakeRun*>(context)->selection, entry.name);
}

void FileDone(void* context, const ReaderEntry& entry, const ReaderFailure* failure) {
    auto& run = *static_cast<TakeRun*>(context);
    const std::string name = ShownName(entry.name);
    const bool testing = run.options->mode == CabreadMode::Test;
    if (failure) {
        if (testing) std::printf("%s: FAILED: %s\n", name.c_str(), failure->text.c_str());
        else ReportReadProblem(failure->text + "; " + name + " not extracted");
        return;
    }
    run.bytes += entry.size;
    if (!run.options->verbose) return;
    if (testing) std::printf("%s: OK\n", name.c_str());
    else if (run.options->mode == CabreadMode::Extract) std::printf("%s\n", name.c_str());
}

ReaderSink SinkFor(CabreadMode mode) {
    switch (mode) {
    case CabreadMode::Test: return ReaderSink::Discard;
    case CabreadMode::Pipe: return ReaderSink::StandardOutput;
    default: return ReaderSink::Files;
    }
}

}  // namespace

int RunTake(const CabreadOptions& options, const std::string& cabinetPath, const std::string& shownPath) {
    TakeRun run;
    run.options = &options;
    run.selection = MakeSelection(options.patterns);
    ReaderRequest request;
    request.cabinetPath = cabinetPath;
    request.shownPath = shownPath;
    request.sink = SinkFor(options.mode);
    request.destination = options.destination;
    request.keepExisting = options.keep;
    request.goOnAfterDamage = true;
    request.select = Select;
    request.report = ReportToStandardError;
    request.fileDone = FileDone;
    request.context = &run;
    const ReaderOutcome outcome = ReadCabinetSet(request);
    if (!outcome.opened) return CABREAD_EXIT_NOTHING_READ;
    const size_t unmatched = outcome.stopped ? 0 : ReportUnmatched(run.selection);
    if (!options.quiet && options.mode != CabreadMode::Pipe) {
        const char* verb = options.mode == CabreadMode::Test ? "tested OK" : "extracted";
        std::printf("%" PRIu32 " file%s %s (%" PRIu64 " bytes)", outcome.filesDone, outcome.filesDone == 1 ? "" : "s",
                    verb, run.bytes);
        if (outcome.filesFailed) std::printf(", %" PRIu32 " failed", outcome.filesFailed);
        std::printf("\n");
    }
    const bool complete = !outcome.stopped && !outcome.interrupted && outcome.filesFailed == 0 && unmatched == 0;
    return complete ? CABREAD_EXIT_DONE : CABREAD_EXIT_PARTLY;
}

}  // namespace treepak
