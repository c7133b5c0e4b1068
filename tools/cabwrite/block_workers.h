// Workers that compress a block-deflate job's blocks ahead of the engine
// (see app/build/precompress.h), with the memo they fill.
#pragma once

#include <memory>
#include <vector>

#include "app/build/block_memo.h"
#include "app/build/precompress.h"
#include "inputs.h"
#include "options.h"

namespace treepak {

struct CabwriteWorkers {
    BlockMemo memo;
    std::vector<PrecompressSource> sources;
    std::unique_ptr<Precompressor> precompressor;
    int threads = 0;
    size_t folderStart = 0;  // first file of the engine's open folder
};

// Sets the memo on the context and starts the workers; null when the job
// has nothing for them (not block deflate, one thread) or the memo cannot
// be made: the engine then works alone. The result must outlive the
// context.
std::unique_ptr<CabwriteWorkers> StartWorkers(const CabwriteOptions& options, const std::vector<InputFile>& files,
                                              FCIContext* context);

// The engine closed its folder on its own (threshold or cabinet size), so
// the folders the workers planned are off from file `next` on: they start
// over with a folder there. Their work ahead is lost (the bytes are not),
// so they keep no more ahead than the folder just closed held.
void RestartWorkers(CabwriteWorkers* workers, size_t next);

}  // namespace treepak
