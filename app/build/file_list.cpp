#include "app/build/file_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/build/build_callbacks.h"
#include "platform/file_io.h"
#include "platform/positional_io.h"
#include "platform/temp_names.h"

namespace treepak {

namespace {

// A record: the size as 8 bytes, the path's length as 4, then the path
// without its NUL. Records run on across page ends.
constexpr size_t kSizeBytes = sizeof(uint64_t);
constexpr size_t kLengthBytes = sizeof(uint32_t);

}  // namespace

FileList::~FileList() { Clear(); }

void FileList::Clear() {
    int32_t error = 0;
    if (spool_ >= 0) platform::CloseFile(spool_, &error);
    spool_ = -1;
    spoolFailed_ = false;
    pages_.clear();
    used_ = kPageSize;
    count_ = 0;
    compress_.clear();
    readError_ = 0;
    found = 0;
    flatNames.clear();
}

void FileList::Add(std::string_view path, uint64_t size) {
    const auto length = static_cast<uint32_t>(path.size());
    Append(&size, kSizeBytes);
    Append(&length, kLengthBytes);
    Append(path.data(), path.size());
    compress_.push_back(true);
    ++count_;
}

void FileList::Append(const void* bytes, size_t count) {
    const auto* from = static_cast<const uint8_t*>(bytes);
    while (count != 0) {
        if (used_ == kPageSize) {
            RetireLastPage();
            pages_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kPageSize));
            used_ = 0;
        }
        const size_t take = std::min(count, kPageSize - used_);
        std::memcpy(pages_.back().get() + used_, from, take);
        used_ += take;
        from += take;
        count -= take;
    }
}

// The file is made with the first full page; one that cannot be made or
// written leaves the pages in memory, which only costs what they did
// before they could move.
void FileList::RetireLastPage() {
    if (pages_.empty()) return;
    if (spool_ < 0 && !spoolFailed_) {
        spool_ = platform::OpenUnnamedTempFile(BUILD_TEMP_PREFIX);
        spoolFailed_ = spool_ < 0;
    }
    if (spool_ < 0) return;
    const size_t page = pages_.size() - 1;
    int32_t error = 0;
    if (platform::WriteFileAt(spool_, pages_.back().get(), kPageSize, page * kPageSize, &error) ==
        static_cast<int32_t>(kPageSize))
        pages_.back().reset();
}

bool FileList::ReadPage(size_t page, uint8_t* into) const {
    int32_t error = 0;
    if (platform::ReadFileAt(spool_, into, kPageSize, page * kPageSize, &error) == static_cast<int32_t>(kPageSize))
        return true;
    int32_t none = 0;
    readError_.compare_exchange_strong(none, error != 0 ? error : EIO);
    return false;
}

size_t FileList::PagesInMemory() const {
    return static_cast<size_t>(std::count_if(pages_.begin(), pages_.end(), [](const auto& p) { return p != nullptr; }));
}

bool FileList::Reader::Take(void* into, size_t count) {
    auto* to = static_cast<uint8_t*>(into);
    while (count != 0) {
        if (offset_ == kPageSize) {
            const std::unique_ptr<uint8_t[]>& held = list_.pages_[pageIndex_];
            if (held != nullptr) {
                page_ = held.get();
            } else {
                if (buffer_ == nullptr) buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kPageSize);
                if (!list_.ReadPage(pageIndex_, buffer_.get())) return false;
                page_ = buffer_.get();
            }
            ++pageIndex_;
            offset_ = 0;
        }
        const size_t take = std::min(count, kPageSize - offset_);
        std::memcpy(to, page_ + offset_, take);
        offset_ += take;
        to += take;
        count -= take;
    }
    return true;
}

bool FileList::Reader::Next(Entry* entry) {
    if (next_ >= list_.count_) return false;
    uint64_t size = 0;
    uint32_t length = 0;
    if (!Take(&size, kSizeBytes) || !Take(&length, kLengthBytes)) return false;
    path_.resize(length);
    if (!Take(path_.data(), length)) return false;
    *entry = Entry{path_.c_str(), size, next_++};
    return true;
}

}  // namespace treepak
