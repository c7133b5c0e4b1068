// A host file handle with a write-back buffer. Small writes collect in
// memory and reach the file in large pieces; a read, seek or close first
// writes out what is pending, so the file reads back exactly as if every
// write had gone straight through. An error of a delayed write is reported
// by the operation that wrote the buffer out, at the latest by Close.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

class BufferedFile {
public:
    // Takes over `handle` (from OpenFile); writes are gathered up to
    // `capacity` bytes before they go to the file.
    BufferedFile(int32_t handle, uint32_t capacity);
    // The same, gathering writes in the caller's `buffer` of `capacity`
    // bytes, which must outlive the object.
    BufferedFile(int32_t handle, uint8_t* buffer, uint32_t capacity);
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // As file_io.h's functions of the same name: count, or -1.
    int32_t Write(const void* buffer, uint32_t count, int32_t* error);
    int32_t Read(void* buffer, uint32_t count, int32_t* error);
    int64_t Seek(int64_t offset, int origin, int32_t* error);
    // Writes out what is pending and releases the handle, whatever fails.
    // 0, or -1 with the first error.
    int32_t Close(int32_t* error);

private:
    bool Flush(int32_t* error);
    void ReleaseBuffer();

    int32_t handle_;
    uint32_t capacity_;
    // Taken on the first buffered write, in huge pages when large (see
    // large_blocks.h); without memory for it, writes go straight through.
    uint8_t* buffer_ = nullptr;
    bool ownsBuffer_ = true;
    uint32_t pending_ = 0;
};

}  // namespace platform

}  // namespace treepak
