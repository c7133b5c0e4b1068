#include "memory_files.h"

#include <algorithm>
#include <cstring>

#include "cabinet/client_callbacks.h"

namespace treepak::memfiles {

std::map<std::string, std::vector<uint8_t>> files;

namespace {

struct OpenFile {
    std::string name;
    size_t position = 0;
    bool open = false;
};

std::vector<OpenFile> handles;

OpenFile& Held(int32_t handle) {
    if (handle < 0 || static_cast<size_t>(handle) >= handles.size() || !handles[handle].open) __builtin_trap();
    return handles[handle];
}

}  // namespace

void Reset() {
    files.clear();
    handles.clear();
}

int32_t Open(const std::string& name, bool create) {
    if (create) {
        files[name].clear();
    } else if (!files.count(name)) {
        return -1;
    }
    auto free = std::find_if(handles.begin(), handles.end(), [](const OpenFile& f) { return !f.open; });
    if (free == handles.end()) free = handles.insert(handles.end(), OpenFile{});
    *free = OpenFile{name, 0, true};
    return static_cast<int32_t>(free - handles.begin());
}

int32_t Read(int32_t handle, void* buffer, uint32_t count) {
    OpenFile& f = Held(handle);
    const std::vector<uint8_t>& bytes = files[f.name];
    if (f.position >= bytes.size()) return 0;
    const size_t n = std::min<size_t>(count, bytes.size() - f.position);
    std::memcpy(buffer, bytes.data() + f.position, n);
    f.position += n;
    return static_cast<int32_t>(n);
}

int32_t Write(int32_t handle, const void* buffer, uint32_t count) {
    OpenFile& f = Held(handle);
    std::vector<uint8_t>& bytes = files[f.name];
    if (bytes.size() < f.position + count) bytes.resize(f.position + count);
    if (count) std::memcpy(bytes.data() + f.position, buffer, count);
    f.position += count;
    return static_cast<int32_t>(count);
}

int32_t Close(int32_t handle) {
    Held(handle).open = false;
    return 0;
}

int32_t Seek(int32_t handle, int32_t offset, int origin) {
    OpenFile& f = Held(handle);
    const int64_t base = origin == IO_SEEK_SET   ? 0
                         : origin == IO_SEEK_CUR ? static_cast<int64_t>(f.position)
                                                 : static_cast<int64_t>(files[f.name].size());
    const int64_t target = base + offset;
    if (target < 0) return -1;
    f.position = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
}

bool AnyOpen() {
    return std::any_of(handles.begin(), handles.end(), [](const OpenFile& f) { return f.open; });
}

}  // namespace treepak::memfiles
