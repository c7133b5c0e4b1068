// The files the writer engine opens through the build driver: its temporary
// files and the cabinet files. A temporary file under a name this table
// handed out is created in memory (see spooled_file.h) and reaches the disk
// only if it grows large; every other file is a real one written through a
// write-back buffer. Handles are numbered from kFirstHandle, far above any
// host handle, so the driver can tell them from the source files' handles.
// Names of in-memory files count as taken: the table refuses to create them
// again and never hands them out twice.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/temp_store/spool_pool.h"
#include "app/temp_store/spooled_file.h"

namespace treepak {

class WriterFiles {
public:
    static constexpr int32_t kFirstHandle = 0x40000000;

    // `poolLimit` bytes of memory for all temporary files together, at most
    // `fileLimit` for one, in huge pages when `hugePages`; real files gather
    // writes in `writeBuffer` bytes.
    WriterFiles(size_t poolLimit, uint32_t fileLimit, uint32_t writeBuffer, bool hugePages = false);

    static bool Owns(int32_t handle) { return handle >= kFirstHandle; }

    // Records a temporary name handed to the engine: its exclusive creation
    // (the next open of it) stays in memory. False when an in-memory file
    // already has the name.
    bool IssueTempName(const std::string& path);

    // As platform::OpenFile and friends, on this table's handles.
    int32_t Open(const char* path, int32_t flags, int32_t mode, int32_t* error);
    int32_t Read(int32_t handle, void* buffer, uint32_t count, int32_t* error);
    int32_t Write(int32_t handle, const void* buffer, uint32_t count, int32_t* error);
    int64_t Seek(int32_t handle, int64_t offset, int origin, int32_t* error);
    int32_t Close(int32_t handle, int32_t* error);
    // Removes an in-memory file (its bytes go once it is also closed) or
    // the real file of that name.
    int32_t Delete(const char* path, int32_t* error);

    size_t OpenCount() const;
    size_t HeldCount() const { return held_.size(); }

private:
    SpooledFile* FileOf(int32_t handle, int32_t* error) const;
    int32_t AddHandle(std::shared_ptr<SpooledFile> file);
    // A file that moved to the disk is no longer held under its name.
    void ForgetIfSpilled(const SpooledFile& file);

    SpoolPool pool_;
    uint32_t fileLimit_;
    uint32_t writeBuffer_;
    std::string issuedName_;
    std::vector<std::shared_ptr<SpooledFile>> handles_;  // index = handle - kFirstHandle
    std::map<std::string, std::shared_ptr<SpooledFile>> held_;
};

// The table the build driver's callbacks use.
WriterFiles& BuildWriterFiles();

}  // namespace treepak
