// A thread that searches stretches of cabwrite's LZX folders ahead of the
// engine (search jobs, compress/compressor.h), so that one folder keeps two
// cores busy: the engine compresses up to a stretch while the thread
// searches the stretch, then the engine takes the stretch's results, which
// costs it a fraction of searching. The output is the same bytes as with
// one thread; a stretch whose bytes the engine finds different (a file that
// changed, folders cut other than planned) only costs the time.
//
// Folders are planned from the file list and the sizes found when it was
// read: one folder per file, or all files in one. Each folder gets
// stretches sized so that the thread finishes one about when the engine
// reaches it.
#pragma once

#include <memory>
#include <vector>

#include "fci/fci.h"
#include "inputs.h"
#include "options.h"

namespace treepak {

class LzxSearcher;
// Stops the thread (within a chunk of the job it runs) and releases the jobs.
struct StopLzxSearcher {
    void operator()(LzxSearcher* searcher) const;
};
using LzxSearcherPtr = std::unique_ptr<LzxSearcher, StopLzxSearcher>;

// Starts the thread and sets the lookup on the context; null when the job
// is not LZX, one thread is to compress, or no folder is long enough for a
// stretch. The result must outlive the context's last FCIAddFile.
LzxSearcherPtr StartLzxSearcher(const CabwriteOptions& options, const std::vector<InputFile>& files,
                                FCIContext* context);

}  // namespace treepak
