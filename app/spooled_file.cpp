#include "app/spooled_file.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace {

constexpr uint64_t kChunk = SpoolPool::kChunkSize;

}  // namespace

SpooledFile::SpooledFile(std::string path, int32_t openFlags, int32_t mode, SpoolPool* pool, uint32_t memoryLimit,
                         uint32_t writeBuffer)
    : path_(std::move(path)),
      openFlags_(openFlags),
      mode_(mode),
      pool_(pool),
      memoryLimit_(memoryLimit),
      writeBuffer_(writeBuffer) {
    assert(pool != nullptr);
}

SpooledFile::SpooledFile(std::string path, int32_t handle, uint32_t writeBuffer)
    : path_(std::move(path)),
      writeBuffer_(writeBuffer),
      disk_(std::make_unique<platform::BufferedFile>(handle, writeBuffer)) {}

SpooledFile::~SpooledFile() { ReleaseChunks(); }

void SpooledFile::ReleaseChunks() {
    for (uint8_t* chunk : chunks_) pool_->Release(chunk);
    chunks_.clear();
}

bool SpooledFile::Reserve(uint64_t end) {
    while (chunks_.size() * kChunk < end) {
        uint8_t* chunk = pool_->Acquire();
        if (chunk == nullptr) return false;
        chunks_.push_back(chunk);
    }
    return true;
}

void SpooledFile::CopyIn(uint64_t at, const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        const uint64_t offset = at % kChunk;
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(count, kChunk - offset));
        std::memcpy(chunks_[at / kChunk] + offset, bytes, piece);
        at += piece;
        bytes += piece;
        count -= piece;
    }
}

void SpooledFile::ZeroFill(uint64_t from, uint64_t to) {
    while (from < to) {
        const uint64_t offset = from % kChunk;
        const uint64_t piece = std::min(to - from, kChunk - offset);
        std::memset(chunks_[from / kChunk] + offset, 0, piece);
        from += piece;
    }
}

int32_t SpooledFile::Write(const void* buffer, uint32_t count, int32_t* error) {
    assert(!closedOnDisk_);
    if (disk_ != nullptr) return disk_->Write(buffer, count, error);
    if (count == 0) return 0;  // as on disk, writing nothing past the end does not extend the file
    const uint64_t end = position_ + count;
    if (end > memoryLimit_ || !Reserve(end)) {
        if (!Spill(error)) return -1;
        return disk_->Write(buffer, count, error);
    }
    if (position_ > size_) ZeroFill(size_, position_);
    CopyIn(position_, static_cast<const uint8_t*>(buffer), count);
    position_ = end;
    size_ = std::max(size_, end);
    return static_cast<int32_t>(count);
}

int32_t SpooledFile::Read(void* buffer, uint32_t count, int32_t* error) {
    assert(!closedOnDisk_);
    if (disk_ != nullptr) return disk_->Read(buffer, count, error);
    if (position_ >= size_) return 0;
    const auto total = static_cast<uint32_t>(std::min<uint64_t>(count, size_ - position_));
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (uint32_t done = 0; done < total;) {
        const uint64_t offset = position_ % kChunk;
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(total - done, kChunk - offset));
        std::memcpy(bytes + done, chunks_[position_ / kChunk] + offset, piece);
        done += piece;
        position_ += piece;
    }
    return static_cast<int32_t>(total);
}

int64_t SpooledFile::Seek(int64_t offset, int origin, int32_t* error) {
    assert(!closedOnDisk_);
    if (disk_ != nullptr) return disk_->Seek(offset, origin, error);
    int64_t base;
    switch (origin) {
        case platform::SEEK_FROM_START: base = 0; break;
        case platform::SEEK_FROM_CURRENT: base = static_cast<int64_t>(position_); break;
        case platform::SEEK_FROM_END: base = static_cast<int64_t>(size_); break;
        default: *error = EINVAL; return -1;
    }
    if (offset < -base) {
        *error = EINVAL;
        return -1;
    }
    position_ = static_cast<uint64_t>(base + offset);
    return static_cast<int64_t>(position_);
}

int32_t SpooledFile::Close(int32_t* error) {
    if (disk_ == nullptr) return 0;
    const int32_t result = disk_->Close(error);
    disk_.reset();
    closedOnDisk_ = true;
    return result;
}

bool SpooledFile::Spill(int32_t* error) {
    assert(InMemory());
    const int32_t handle = platform::OpenFile(path_.c_str(), openFlags_, mode_, error);
    if (handle < 0) return false;
    auto file = std::make_unique<platform::BufferedFile>(handle, writeBuffer_);
    bool ok = true;
    for (uint64_t at = 0; ok && at < size_; at += kChunk) {
        const auto piece = static_cast<uint32_t>(std::min(size_ - at, kChunk));
        ok = file->Write(chunks_[at / kChunk], piece, error) == static_cast<int32_t>(piece);
    }
    // The seek also writes out the buffer, so that another handle opened
    // on the name at once finds every byte.
    ok = ok && file->Seek(static_cast<int64_t>(position_), platform::SEEK_FROM_START, error) >= 0;
    if (!ok) {
        // Nothing of a failed move stays on disk; the bytes are still here.
        int32_t ignored = 0;
        file->Close(&ignored);
        platform::DeleteFile(path_.c_str(), &ignored);
        return false;
    }
    ReleaseChunks();
    disk_ = std::move(file);
    return true;
}
