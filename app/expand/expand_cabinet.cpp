// treepak's expand mode on the shared reader client: every file, into the
// destination directory, stopping at the first file that fails.
#include "app/expand/expand_cabinet.h"

#include <cstdio>
#include <string>

#include "app/common/diagnostics.h"
#include "app/common/status_line.h"

namespace treepak {

namespace {

struct ExpandCalls {
    ExpandProgressFn progress;
    void* progressContext;
};

// What ends the run, or a note that is no file's.
void ReportReaderProblem(void*, const std::string& message) { ReportFailure("%s", message.c_str()); }

void FileDone(void*, const ReaderEntry& entry, const ReaderFailure* failure) {
    if (failure == nullptr) return;
    if (failure->unsafeName) {
        ClearStatusLine();
        std::printf("***** ERROR: unsafe file name in cabinet: %s\n", entry.name.c_str());
    }
    ReportProblem("%s; %s not extracted", failure->text.c_str(), entry.name.c_str());
}

void Progress(void* context, const char* fileName, int32_t value, int32_t scale) {
    const auto& calls = *static_cast<const ExpandCalls*>(context);
    calls.progress(calls.progressContext, fileName, value, scale);
}

}  // namespace

int ExpandCabinet(const char* cabinetPath, const char* destinationDir, ExpandProgressFn progress,
                  void* progressContext, ReaderOutcome* outcome) {
    ExpandCalls calls{progress, progressContext};
    ReaderRequest request;
    request.cabinetPath = cabinetPath;
    request.destination = destinationDir;
    request.report = ReportReaderProblem;
    request.fileDone = FileDone;
    request.progress = progress ? Progress : nullptr;
    request.context = &calls;
    const ReaderOutcome result = ReadCabinetSet(request);
    if (outcome) *outcome = result;
    return result.opened && !result.stopped && !result.interrupted && result.filesFailed == 0 ? 1 : 0;
}

}  // namespace treepak
