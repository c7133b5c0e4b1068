#include "block_workers.h"

#include <algorithm>

#include "cabinet/format.h"
#include "platform/source_files.h"

namespace treepak {

namespace {

constexpr const char* kMemoPrefix = "cw";

// The size the workers plan with; the writer refuses a file of 4 GiB or
// more, which then only costs the plan misses.
uint32_t SizeOf(const std::string& path) {
    const int64_t size = platform::FileSize(path.c_str());
    return size < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX));
}

}  // namespace

std::unique_ptr<CabwriteWorkers> StartWorkers(const CabwriteOptions& options, const std::vector<InputFile>& files,
                                              FCIContext* context) {
    const int threads = PrecompressThreads();
    if (threads == 0 || CompressKind(options.compressionType) != COMPRESS_DEFLATE) return nullptr;
    auto workers = std::make_unique<CabwriteWorkers>();
    if (!workers->memo.Open(kMemoPrefix)) return nullptr;
    const FCIBlockMemo memo = workers->memo.Callbacks();
    if (FCISetBlockMemo(context, memo.lookup, memo.store, memo.chainStart, memo.context) != 1) return nullptr;
    workers->threads = threads;
    for (size_t i = 0; i < files.size(); ++i) {
        workers->sources.push_back(PrecompressSource{files[i].path, SizeOf(files[i].path), options.compressionType,
                                            i == 0 || options.folderPerFile});
    }
    workers->precompressor = std::make_unique<Precompressor>(memo, FeedOf(workers->sources), threads);
    return workers;
}

void RestartWorkers(CabwriteWorkers* workers, size_t next) {
    workers->precompressor.reset();
    uint64_t folderBytes = 0;
    for (size_t i = workers->folderStart; i < next && i < workers->sources.size(); ++i)
        folderBytes += workers->sources[i].size;
    workers->folderStart = next;
    for (size_t i = 0; i < next && i < workers->sources.size(); ++i) workers->sources[i].type = 0;
    if (next < workers->sources.size()) workers->sources[next].startsFolder = true;
    workers->precompressor =
        std::make_unique<Precompressor>(workers->memo.Callbacks(), FeedOf(workers->sources), workers->threads,
                                        std::min(folderBytes, Precompressor::kLookaheadBytes));
}

}  // namespace treepak
