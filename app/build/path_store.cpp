#include "app/build/path_store.h"

#include <cstring>

namespace treepak {

const char* PathStore::Add(std::string_view path) {
    const size_t need = path.size() + 1;
    char* copy;
    if (need > kChunkSize) {
        // A path longer than a chunk (the walk has no length limit) gets a
        // block of its own; the next path starts a fresh chunk.
        chunks_.push_back(std::make_unique<char[]>(need));
        copy = chunks_.back().get();
        used_ = kChunkSize;
    } else {
        if (kChunkSize - used_ < need) {
            chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunkSize));
            used_ = 0;
        }
        copy = chunks_.back().get() + used_;
        used_ += need;
    }
    std::memcpy(copy, path.data(), path.size());
    copy[path.size()] = '\0';
    return copy;
}

}  // namespace treepak
