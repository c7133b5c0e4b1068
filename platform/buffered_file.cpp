#include "platform/buffered_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "platform/file_io.h"
#include "platform/large_blocks.h"

namespace treepak {

namespace platform {

BufferedFile::BufferedFile(int32_t handle, uint32_t capacity) : handle_(handle), capacity_(capacity) {
    TP_ASSERT(handle >= 0 && capacity > 0);
}

BufferedFile::BufferedFile(int32_t handle, uint8_t* buffer, uint32_t capacity)
    : handle_(handle), capacity_(capacity), buffer_(buffer), ownsBuffer_(false) {
    TP_ASSERT(handle >= 0 && capacity > 0 && buffer != nullptr);
}

BufferedFile::~BufferedFile() {
    // Owners close explicitly to learn the outcome; this only keeps a
    // forgotten handle from leaking.
    if (handle_ >= 0) {
        int32_t error = 0;
        Close(&error);
    }
    ReleaseBuffer();
}

void BufferedFile::ReleaseBuffer() {
    if (buffer_ != nullptr && ownsBuffer_ && !FreeLargeBlock(buffer_)) std::free(buffer_);
    buffer_ = nullptr;
}

bool BufferedFile::Flush(int32_t* error) {
    if (pending_ == 0) return true;
    const uint32_t count = pending_;
    // What did not reach the file is dropped either way: retrying it later
    // would put it at the wrong place.
    int32_t failure = 0;
    const int32_t written = WriteFile(handle_, buffer_, count, &failure);
    pending_ = 0;
    if (written == static_cast<int32_t>(count)) return true;
    // A short write keeps the reason that stopped it (EFBIG past a file-size
    // limit, say); without one it means the device is full.
    *error = failure != 0 ? failure : ENOSPC;
    return false;
}

int32_t BufferedFile::Write(const void* buffer, uint32_t count, int32_t* error) {
    TP_ASSERT(handle_ >= 0);
    if (pending_ + count > capacity_ && !Flush(error)) return -1;
    if (buffer_ == nullptr && count < capacity_) {
        buffer_ = static_cast<uint8_t*>(AllocateLargeBlock(capacity_, true));
        if (buffer_ == nullptr) buffer_ = static_cast<uint8_t*>(std::malloc(capacity_));
    }
    // A piece as large as the buffer gains nothing from a copy.
    if (count >= capacity_ || buffer_ == nullptr) return WriteFile(handle_, buffer, count, error);
    std::memcpy(buffer_ + pending_, buffer, count);
    pending_ += count;
    return static_cast<int32_t>(count);
}

int32_t BufferedFile::Read(void* buffer, uint32_t count, int32_t* error) {
    TP_ASSERT(handle_ >= 0);
    if (!Flush(error)) return -1;
    return ReadFile(handle_, buffer, count, error);
}

int64_t BufferedFile::Seek(int64_t offset, int origin, int32_t* error) {
    TP_ASSERT(handle_ >= 0);
    if (!Flush(error)) return -1;
    return SeekFile(handle_, offset, origin, error);
}

int32_t BufferedFile::Close(int32_t* error) {
    TP_ASSERT(handle_ >= 0);
    int32_t flushError = 0;
    const bool flushed = Flush(&flushError);
    const int32_t handle = handle_;
    handle_ = -1;
    ReleaseBuffer();
    if (CloseFile(handle, error) != 0) return -1;
    if (!flushed) {
        *error = flushError;
        return -1;
    }
    return 0;
}

}  // namespace platform

}  // namespace treepak
