#include "app/temp_store/writer_files.h"

#include <cerrno>

#include "cabinet/tp_assert.h"
#include "platform/file_io.h"
#include "platform/huge_pages.h"

namespace treepak {

namespace {

// Enough for a folder's pair of files and a cabinet's three to stay in
// memory while they are small, and little beside the process's own size
// when every one of them has moved to disk. A cabinet's file and folder
// tables grow by an entry for each file, so one file keeps at most 256 KiB
// in memory and the rest goes to disk: a build of a tree ten times larger
// takes no more memory (a folder's data, one file's with a folder per file,
// rarely reaches that, and with the data area written in place the
// cabinet's own data file stays empty). In huge pages the pool's memory is
// one 2 MiB region.
constexpr size_t kBuildPoolLimit = 2u << 20;
constexpr uint32_t kBuildFileLimit = 256u << 10;
constexpr uint32_t kBuildWriteBuffer = 256u << 10;

bool IsExclusiveCreate(int32_t flags) {
    return (flags & platform::OPEN_CREATE) && (flags & platform::OPEN_EXCLUSIVE);
}

}  // namespace

WriterFiles::WriterFiles(size_t poolLimit, uint32_t fileLimit, uint32_t writeBuffer, bool hugePages)
    : pool_(poolLimit, hugePages), fileLimit_(fileLimit), writeBuffer_(writeBuffer) {}

bool WriterFiles::IssueTempName(const std::string& path) {
    if (held_.count(path) != 0) return false;
    issuedName_ = path;
    return true;
}

int32_t WriterFiles::Open(const char* path, int32_t flags, int32_t mode, int32_t* error) {
    auto held = held_.find(path);
    if (held != held_.end()) {
        if (IsExclusiveCreate(flags)) {
            *error = EEXIST;
            return -1;
        }
        // Any other open of an in-memory file finds its bytes on disk.
        const std::shared_ptr<SpooledFile> file = held->second;
        if (!file->Spill(error)) return -1;
        held_.erase(held);
        bool open = false;
        for (const auto& slot : handles_) open = open || slot == file;
        if (!open && file->Close(error) != 0) return -1;
    }
    const bool issued = issuedName_ == path;
    if (issued) issuedName_.clear();
    if (issued && IsExclusiveCreate(flags) && (flags & platform::OPEN_ACCESS_MASK) == platform::OPEN_READ_WRITE) {
        auto file = std::make_shared<SpooledFile>(path, flags, mode, &pool_, fileLimit_, writeBuffer_);
        held_.emplace(path, file);
        return AddHandle(std::move(file));
    }
    const int32_t handle = platform::OpenFile(path, flags, mode, error);
    if (handle < 0) return -1;
    return AddHandle(std::make_shared<SpooledFile>(path, handle, writeBuffer_));
}

int32_t WriterFiles::AddHandle(std::shared_ptr<SpooledFile> file) {
    size_t slot = 0;
    while (slot < handles_.size() && handles_[slot] != nullptr) ++slot;
    if (slot == handles_.size()) handles_.emplace_back();
    handles_[slot] = std::move(file);
    TP_ASSERT(slot < static_cast<size_t>(INT32_MAX - kFirstHandle));
    return kFirstHandle + static_cast<int32_t>(slot);
}

SpooledFile* WriterFiles::FileOf(int32_t handle, int32_t* error) const {
    const int64_t slot = static_cast<int64_t>(handle) - kFirstHandle;
    if (slot < 0 || slot >= static_cast<int64_t>(handles_.size()) || handles_[slot] == nullptr) {
        *error = EBADF;
        return nullptr;
    }
    return handles_[slot].get();
}

void WriterFiles::ForgetIfSpilled(const SpooledFile& file) {
    if (file.InMemory()) return;
    auto held = held_.find(file.path());
    if (held != held_.end() && held->second.get() == &file) held_.erase(held);
}

int32_t WriterFiles::Read(int32_t handle, void* buffer, uint32_t count, int32_t* error) {
    SpooledFile* file = FileOf(handle, error);
    return file == nullptr ? -1 : file->Read(buffer, count, error);
}

int32_t WriterFiles::Write(int32_t handle, const void* buffer, uint32_t count, int32_t* error) {
    SpooledFile* file = FileOf(handle, error);
    if (file == nullptr) return -1;
    const int32_t written = file->Write(buffer, count, error);
    ForgetIfSpilled(*file);
    return written;
}

int64_t WriterFiles::Seek(int32_t handle, int64_t offset, int origin, int32_t* error) {
    SpooledFile* file = FileOf(handle, error);
    return file == nullptr ? -1 : file->Seek(offset, origin, error);
}

int32_t WriterFiles::Close(int32_t handle, int32_t* error) {
    SpooledFile* file = FileOf(handle, error);
    if (file == nullptr) return -1;
    // The handle is gone whatever the close reports, as on the host.
    const int32_t result = file->Close(error);
    handles_[static_cast<size_t>(handle - kFirstHandle)].reset();
    while (!handles_.empty() && handles_.back() == nullptr) handles_.pop_back();
    return result;
}

int32_t WriterFiles::Delete(const char* path, int32_t* error) {
    auto held = held_.find(path);
    if (held == held_.end()) return platform::DeleteFile(path, error);
    // An overflowed file's later bytes are on disk under the name.
    const bool realFile = held->second->HasRealFile();
    held_.erase(held);
    return realFile ? platform::DeleteFile(path, error) : 0;
}

size_t WriterFiles::OpenCount() const {
    size_t count = 0;
    for (const auto& slot : handles_) count += slot != nullptr;
    return count;
}

WriterFiles& BuildWriterFiles() {
    static WriterFiles files = [] {
        return WriterFiles(kBuildPoolLimit, kBuildFileLimit, kBuildWriteBuffer, platform::HugePagesAvailable());
    }();
    return files;
}

}  // namespace treepak
