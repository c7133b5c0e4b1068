#include "app/temp_store/spooled_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "platform/file_io.h"

namespace treepak {

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
    TP_ASSERT(pool != nullptr);
}

SpooledFile::SpooledFile(std::string path, int32_t handle, uint32_t writeBuffer)
    : path_(std::move(path)),
      writeBuffer_(writeBuffer),
      place_(Place::DISK),
      disk_(std::make_unique<platform::BufferedFile>(handle, writeBuffer)) {}

SpooledFile::~SpooledFile() {
    disk_.reset();  // writes out what is pending in the lent chunk
    ReleaseChunks();
    if (writeChunk_ != nullptr) pool_->Release(writeChunk_);
}

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

void SpooledFile::CopyOut(uint64_t at, uint8_t* bytes, uint32_t count) const {
    while (count > 0) {
        const uint64_t offset = at % kChunk;
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(count, kChunk - offset));
        std::memcpy(bytes, chunks_[at / kChunk] + offset, piece);
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

bool SpooledFile::SeekDisk(uint64_t at, int32_t* error) {
    if (diskPosition_ == at) return true;
    if (disk_->Seek(static_cast<int64_t>(at), platform::SEEK_FROM_START, error) < 0) return false;
    diskPosition_ = at;
    return true;
}

bool SpooledFile::StartOverflow(int32_t* error) {
    TP_ASSERT(place_ == Place::MEMORY);
    const int32_t handle = platform::OpenFile(path_.c_str(), openFlags_, mode_, error);
    if (handle < 0) return false;
    writeChunk_ = pool_->Acquire();
    disk_ = writeChunk_ != nullptr
                ? std::make_unique<platform::BufferedFile>(handle, writeChunk_, static_cast<uint32_t>(kChunk))
                : std::make_unique<platform::BufferedFile>(handle, writeBuffer_);
    place_ = Place::OVERFLOWED;
    memoryEnd_ = size_;
    diskPosition_ = 0;
    return true;
}

int32_t SpooledFile::Write(const void* buffer, uint32_t count, int32_t* error) {
    TP_ASSERT(place_ != Place::CLOSED);
    if (place_ == Place::DISK) return disk_->Write(buffer, count, error);
    if (count == 0) return 0;  // as on disk, writing nothing past the end does not extend the file
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const uint64_t end = position_ + count;
    if (place_ == Place::MEMORY) {
        if (end <= memoryLimit_ && Reserve(end)) {
            if (position_ > size_) ZeroFill(size_, position_);
            CopyIn(position_, bytes, count);
            position_ = end;
            size_ = std::max(size_, end);
            return static_cast<int32_t>(count);
        }
        if (!StartOverflow(error)) return -1;
    }
    // Bytes before memoryEnd_ go to memory, the rest to disk; a gap past
    // the end always lies on disk, where it reads back as zeros.
    const uint32_t toMemory =
        position_ < memoryEnd_ ? static_cast<uint32_t>(std::min<uint64_t>(count, memoryEnd_ - position_)) : 0;
    if (toMemory < count) {
        const uint64_t at = position_ + toMemory;
        if (!SeekDisk(at, error)) return -1;
        const uint32_t rest = count - toMemory;
        if (disk_->Write(bytes + toMemory, rest, error) != static_cast<int32_t>(rest)) {
            diskPosition_ = UINT64_MAX;  // unknown after a failed write
            return -1;
        }
        diskPosition_ = end;
    }
    CopyIn(position_, bytes, toMemory);
    position_ = end;
    size_ = std::max(size_, end);
    return static_cast<int32_t>(count);
}

int32_t SpooledFile::Read(void* buffer, uint32_t count, int32_t* error) {
    TP_ASSERT(place_ != Place::CLOSED);
    if (place_ == Place::DISK) return disk_->Read(buffer, count, error);
    if (position_ >= size_) return 0;
    const auto total = static_cast<uint32_t>(std::min<uint64_t>(count, size_ - position_));
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint64_t memoryEnd = place_ == Place::MEMORY ? size_ : memoryEnd_;
    const uint32_t fromMemory =
        position_ < memoryEnd ? static_cast<uint32_t>(std::min<uint64_t>(total, memoryEnd - position_)) : 0;
    if (fromMemory < total) {
        const uint64_t at = position_ + fromMemory;
        const uint32_t rest = total - fromMemory;
        if (!SeekDisk(at, error)) return -1;
        // Every byte from memoryEnd_ to the end was written to disk, so the
        // real file holds them all.
        if (disk_->Read(bytes + fromMemory, rest, error) != static_cast<int32_t>(rest)) {
            diskPosition_ = UINT64_MAX;
            if (*error == 0) *error = EIO;
            return -1;
        }
        diskPosition_ = at + rest;
    }
    CopyOut(position_, bytes, fromMemory);
    position_ += total;
    return static_cast<int32_t>(total);
}

int64_t SpooledFile::Seek(int64_t offset, int origin, int32_t* error) {
    TP_ASSERT(place_ != Place::CLOSED);
    if (place_ == Place::DISK) return disk_->Seek(offset, origin, error);
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
    switch (place_) {
        case Place::MEMORY: return 0;
        case Place::OVERFLOWED:
            // The real file stays open behind the bytes in memory; what is
            // pending goes out now, so that a failing write shows here.
            if (disk_->Seek(static_cast<int64_t>(position_), platform::SEEK_FROM_START, error) < 0) return -1;
            diskPosition_ = position_;
            return 0;
        case Place::DISK: {
            const int32_t result = disk_->Close(error);
            disk_.reset();
            place_ = Place::CLOSED;
            return result;
        }
        case Place::CLOSED: break;
    }
    return 0;
}

bool SpooledFile::Spill(int32_t* error) {
    TP_ASSERT(InMemory());
    const uint64_t memoryEnd = place_ == Place::MEMORY ? size_ : memoryEnd_;
    std::unique_ptr<platform::BufferedFile> file;
    if (place_ == Place::OVERFLOWED) {
        file = std::move(disk_);
    } else {
        const int32_t handle = platform::OpenFile(path_.c_str(), openFlags_, mode_, error);
        if (handle < 0) return false;
        file = std::make_unique<platform::BufferedFile>(handle, writeBuffer_);
    }
    bool ok = file->Seek(0, platform::SEEK_FROM_START, error) >= 0;
    for (uint64_t at = 0; ok && at < memoryEnd; at += kChunk) {
        const auto piece = static_cast<uint32_t>(std::min(memoryEnd - at, kChunk));
        ok = file->Write(chunks_[at / kChunk], piece, error) == static_cast<int32_t>(piece);
    }
    // The seek also writes out the buffer, so that another handle opened
    // on the name at once finds every byte.
    ok = ok && file->Seek(static_cast<int64_t>(position_), platform::SEEK_FROM_START, error) >= 0;
    if (!ok) {
        if (place_ == Place::OVERFLOWED) {
            // The bytes in memory are still here and the real file's own
            // bytes untouched past memoryEnd_: the file goes on as it was.
            disk_ = std::move(file);
            diskPosition_ = UINT64_MAX;
            return false;
        }
        // Nothing of a failed move stays on disk; the bytes are still here.
        int32_t ignored = 0;
        file->Close(&ignored);
        platform::DeleteFile(path_.c_str(), &ignored);
        return false;
    }
    ReleaseChunks();
    disk_ = std::move(file);
    place_ = Place::DISK;
    return true;
}

}  // namespace treepak
