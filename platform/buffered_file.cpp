#include "platform/buffered_file.h"

#include <cassert>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace platform {

BufferedFile::BufferedFile(int32_t handle, uint32_t capacity) : handle_(handle), capacity_(capacity) {
    assert(handle >= 0 && capacity > 0);
}

BufferedFile::~BufferedFile() {
    // Owners close explicitly to learn the outcome; this only keeps a
    // forgotten handle from leaking.
    if (handle_ >= 0) {
        int32_t error = 0;
        Close(&error);
    }
}

bool BufferedFile::Flush(int32_t* error) {
    if (pending_.empty()) return true;
    const auto count = static_cast<uint32_t>(pending_.size());
    // What did not reach the file is dropped either way: retrying it later
    // would put it at the wrong place.
    const int32_t written = WriteFile(handle_, pending_.data(), count, error);
    pending_.clear();
    if (written == static_cast<int32_t>(count)) return true;
    // A short write without an error number means the device is full.
    if (written >= 0) *error = ENOSPC;
    return false;
}

int32_t BufferedFile::Write(const void* buffer, uint32_t count, int32_t* error) {
    assert(handle_ >= 0);
    if (pending_.size() + count > capacity_ && !Flush(error)) return -1;
    // A piece as large as the buffer gains nothing from a copy.
    if (count >= capacity_) return WriteFile(handle_, buffer, count, error);
    if (pending_.capacity() == 0) pending_.reserve(capacity_);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    pending_.insert(pending_.end(), bytes, bytes + count);
    return static_cast<int32_t>(count);
}

int32_t BufferedFile::Read(void* buffer, uint32_t count, int32_t* error) {
    assert(handle_ >= 0);
    if (!Flush(error)) return -1;
    return ReadFile(handle_, buffer, count, error);
}

int64_t BufferedFile::Seek(int64_t offset, int origin, int32_t* error) {
    assert(handle_ >= 0);
    if (!Flush(error)) return -1;
    return SeekFile(handle_, offset, origin, error);
}

int32_t BufferedFile::Close(int32_t* error) {
    assert(handle_ >= 0);
    int32_t flushError = 0;
    const bool flushed = Flush(&flushError);
    const int32_t handle = handle_;
    handle_ = -1;
    std::vector<uint8_t>().swap(pending_);
    if (CloseFile(handle, error) != 0) return -1;
    if (!flushed) {
        *error = flushError;
        return -1;
    }
    return 0;
}

}  // namespace platform
