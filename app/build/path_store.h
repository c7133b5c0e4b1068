// The selected files' paths, kept end to end in large chunks. A build lists
// up to 65535 files before it writes anything; as strings, each path would
// cost a string object and a heap block of its own (about 100 bytes for a
// typical path), here it costs its bytes and a pointer.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace treepak {

class PathStore {
public:
    // A NUL-terminated copy of path that lives as long as the store.
    const char* Add(std::string_view path);

private:
    static constexpr size_t kChunkSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t used_ = kChunkSize;  // bytes taken in the last chunk
};

}  // namespace treepak
