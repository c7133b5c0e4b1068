// A temporary file that lives in memory until it grows large: its bytes are
// kept in chunks from a shared pool. Once the file would pass its own size
// limit, or the pool has no chunk left, it overflows: a real file is created
// under the name it was opened with (exclusively, at that moment) and takes
// every byte from the memory's end on, at the same offsets, through a
// write-back buffer; the bytes already in memory stay there, and the real
// file has a hole where they belong. Only when the file must be whole on
// disk (another open of its name) do they move there too. The real file's
// write-back buffer is a chunk of the pool when one is free, so that an
// overflow costs no memory beyond the pool's. Reads, writes and
// seeks behave as on a file throughout: a position past the end reads
// nothing, and a write there fills the gap with zeros.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/temp_store/spool_pool.h"
#include "platform/buffered_file.h"

namespace treepak {

class SpooledFile {
public:
    // Held in memory; an overflow creates `path` with the open flags and
    // mode (as for platform::OpenFile) the file was opened with.
    SpooledFile(std::string path, int32_t openFlags, int32_t mode, SpoolPool* pool, uint32_t memoryLimit,
                uint32_t writeBuffer);
    // Already a real file: `handle` is open on it.
    SpooledFile(std::string path, int32_t handle, uint32_t writeBuffer);
    ~SpooledFile();
    SpooledFile(const SpooledFile&) = delete;
    SpooledFile& operator=(const SpooledFile&) = delete;

    // As platform::ReadFile and friends: count (or the new position), or -1.
    int32_t Write(const void* buffer, uint32_t count, int32_t* error);
    int32_t Read(void* buffer, uint32_t count, int32_t* error);
    int64_t Seek(int64_t offset, int origin, int32_t* error);
    // Ends access. A file with bytes in memory keeps them, and its real
    // file stays open, until destroyed (it still exists under its name);
    // a whole real file is written out and closed.
    int32_t Close(int32_t* error);
    // Moves the bytes in memory to the real file now, which is then whole;
    // false, with the file as it was, when that fails.
    bool Spill(int32_t* error);

    // Some of its bytes are in memory: the file is only whole through this
    // object, which must stay reachable by its name.
    bool InMemory() const { return place_ == Place::MEMORY || place_ == Place::OVERFLOWED; }
    // A real file exists under the name (whole or not).
    bool HasRealFile() const { return place_ != Place::MEMORY; }
    const std::string& path() const { return path_; }

private:
    enum class Place : uint8_t {
        MEMORY,      // every byte in chunks
        OVERFLOWED,  // bytes before memoryEnd_ in chunks, the rest in disk_
        DISK,        // every byte in disk_
        CLOSED,      // a whole real file, closed
    };

    bool Reserve(uint64_t end);
    void CopyIn(uint64_t at, const uint8_t* bytes, uint32_t count);
    void CopyOut(uint64_t at, uint8_t* bytes, uint32_t count) const;
    void ZeroFill(uint64_t from, uint64_t to);
    void ReleaseChunks();
    bool StartOverflow(int32_t* error);
    // Moves disk_ to `at` unless it is there.
    bool SeekDisk(uint64_t at, int32_t* error);

    std::string path_;
    int32_t openFlags_ = 0;
    int32_t mode_ = 0;
    SpoolPool* pool_ = nullptr;
    uint32_t memoryLimit_ = 0;
    uint32_t writeBuffer_;
    Place place_ = Place::MEMORY;
    std::vector<uint8_t*> chunks_;
    uint64_t memoryEnd_ = 0;  // bytes in chunks while OVERFLOWED
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    uint64_t diskPosition_ = 0;  // where disk_ stands while OVERFLOWED
    std::unique_ptr<platform::BufferedFile> disk_;
    // A pool chunk lent to disk_ as its write-back buffer, if one was free.
    uint8_t* writeChunk_ = nullptr;
};

}  // namespace treepak
