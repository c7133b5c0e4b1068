// A temporary file that lives in memory until it grows large: its bytes are
// kept in chunks from a shared pool, and once the file would pass its own
// size limit, or the pool has no chunk left, it moves to a real file under
// the name it was opened with (created exclusively at that moment) and
// carries on there through a write-back buffer. Reads, writes and seeks
// behave as on a file either way: a position past the end reads nothing,
// and a write there fills the gap with zeros.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/spool_pool.h"
#include "platform/buffered_file.h"

class SpooledFile {
public:
    // Held in memory; a spill creates `path` with the open flags and mode
    // (as for platform::OpenFile) the file was opened with.
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
    // Ends access. A file in memory keeps its bytes until destroyed (it
    // still exists under its name); a real file is written out and closed.
    int32_t Close(int32_t* error);
    // Moves the bytes to the real file now; false, with the file still in
    // memory and nothing on disk, when that fails.
    bool Spill(int32_t* error);

    bool InMemory() const { return disk_ == nullptr && !closedOnDisk_; }
    const std::string& path() const { return path_; }

private:
    bool Reserve(uint64_t end);
    void CopyIn(uint64_t at, const uint8_t* bytes, uint32_t count);
    void ZeroFill(uint64_t from, uint64_t to);
    void ReleaseChunks();

    std::string path_;
    int32_t openFlags_ = 0;
    int32_t mode_ = 0;
    SpoolPool* pool_ = nullptr;
    uint32_t memoryLimit_ = 0;
    uint32_t writeBuffer_;
    std::vector<uint8_t*> chunks_;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    std::unique_ptr<platform::BufferedFile> disk_;
    bool closedOnDisk_ = false;
};
