#include "test_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace treepak {

namespace fcitest {
namespace {

Client* g_client = nullptr;
constexpr const char* kTempPrefix = "fcitmp";

bool Fails(Client* c, Op op, int32_t* error) {
    ++c->calls[op];
    const bool fail = c->failAt[op] != 0 && c->calls[op] >= c->failAt[op] && c->calls[op] < c->failAt[op] + c->failCount[op];
    if (fail && error != nullptr) *error = EIO;
    return fail;
}

int32_t Result(long n, int32_t* error) {
    if (n < 0) *error = errno;
    return static_cast<int32_t>(n);
}

void* Alloc(uint32_t size) {
    if (g_client != nullptr && Fails(g_client, OP_ALLOC, nullptr)) return nullptr;
    if (g_client != nullptr) ++g_client->liveAllocations;
    return std::malloc(size == 0 ? 1 : size);
}

void Free(void* p) {
    if (g_client != nullptr && p != nullptr) --g_client->liveAllocations;
    std::free(p);
}

int32_t OpenPosix(Client* c, const char* path, int posix, int32_t mode, int32_t* error) {
    if (Fails(c, OP_OPEN, error)) return -1;
    const int fd = Result(::open(path, posix, mode), error);
    if (fd >= 0) c->openHandles[fd] = path;
    return fd;
}

int32_t Open(const char* path, int32_t flags, int32_t mode, int32_t* error, void* ctx) {
    int posix = (flags & IO_OPEN_READ_WRITE) ? O_RDWR : O_RDONLY;
    if (flags & IO_OPEN_CREATE) posix |= O_CREAT;
    if (flags & IO_OPEN_TRUNCATE) posix |= O_TRUNC;
    if (flags & IO_OPEN_EXCLUSIVE) posix |= O_EXCL;
    return OpenPosix(static_cast<Client*>(ctx), path, posix, mode, error);
}

int32_t Read(int32_t h, void* buffer, uint32_t count, int32_t* error, void* ctx) {
    return Fails(static_cast<Client*>(ctx), OP_READ, error) ? -1 : Result(::read(h, buffer, count), error);
}

int32_t Write(int32_t h, const void* buffer, uint32_t count, int32_t* error, void* ctx) {
    return Fails(static_cast<Client*>(ctx), OP_WRITE, error) ? -1 : Result(::write(h, buffer, count), error);
}

int32_t Seek(int32_t h, int32_t offset, int origin, int32_t* error, void* ctx) {
    const int whence = origin == IO_SEEK_SET ? SEEK_SET : origin == IO_SEEK_CUR ? SEEK_CUR : SEEK_END;
    return Fails(static_cast<Client*>(ctx), OP_SEEK, error) ? -1 : Result(::lseek(h, offset, whence), error);
}

// A failed close still releases the handle, as a real close does after EIO;
// a failed delete still removes the file, so that the directory stays clean.
int32_t Close(int32_t h, int32_t* error, void* ctx) {
    Client* c = static_cast<Client*>(ctx);
    c->openHandles.erase(h);
    const bool fail = Fails(c, OP_CLOSE, error);
    return Result(::close(h), error) < 0 || fail ? -1 : 0;
}

int32_t Delete(const char* path, int32_t* error, void* ctx) {
    const bool fail = Fails(static_cast<Client*>(ctx), OP_DELETE, error);
    return Result(::unlink(path), error) < 0 || fail ? -1 : 0;
}

int32_t GetTempFile(char* buffer, int32_t size, void* ctx) {
    Client* c = static_cast<Client*>(ctx);
    if (Fails(c, OP_TEMP_NAME, nullptr)) return 0;
    std::snprintf(buffer, static_cast<size_t>(size), "%s/%s%04d", c->dir.c_str(), kTempPrefix, c->tempCounter++);
    return 1;
}

int32_t FilePlaced(CabParams* params, const char* name, uint32_t size, int32_t continuation, void* ctx) {
    Client* c = static_cast<Client*>(ctx);
    c->placed.push_back({params->cabinetNumber, name, size, continuation});
    return c->abortPlaced ? -1 : 0;
}

int32_t GetNextCabinet(CabParams* next, uint32_t estimate, void* ctx) {
    Client* c = static_cast<Client*>(ctx);
    c->nexts.push_back({next->cabinetNumber, estimate});
    if (c->abortNext) return -1;
    std::snprintf(next->cabinetName, sizeof next->cabinetName, c->nextPattern.c_str(), next->cabinetNumber);
    std::snprintf(next->diskName, sizeof next->diskName, "DISK%d", next->cabinetNumber);
    if (c->newDiskEachCabinet) next->diskNumber += 1;
    if (c->nextMaxCabinetSize >= 0) next->maxCabinetSize = static_cast<uint32_t>(c->nextMaxCabinetSize);
    return 0;
}

int32_t Status(uint32_t kind, uint32_t size1, uint32_t size2, void* ctx) {
    Client* c = static_cast<Client*>(ctx);
    c->status.push_back({kind, size1, size2});
    if (c->statusAbortKind == static_cast<int32_t>(kind)) {
        long seen = 0;
        for (const StatusReport& r : c->status) seen += r.kind == kind;
        if (seen == c->statusAbortAt) return -1;
    }
    return kind == FCI_STATUS_CABINET ? c->cabinetStatusResult : 0;
}

// Every source has the same time stamp and attributes, so that the golden
// cabinets do not depend on the files' real ones.
int32_t GetOpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t* error, void* ctx) {
    *date = 0x5A85;  // 2025-04-05
    *time = 0x6C2F;  // 13:33:30
    *attributes = 0x20;
    return OpenPosix(static_cast<Client*>(ctx), path, O_RDONLY, 0, error);
}

}  // namespace

FCIContext* Create(Client* client, ErrorRecord* errors, const CabParams& params) {
    g_client = client;
    return FCICreate(errors, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek, Delete, GetTempFile, &params,
                     client);
}

int AddFile(FCIContext* context, const std::string& source, const std::string& name, uint16_t type, int32_t execute) {
    return FCIAddFile(context, source.c_str(), name.c_str(), execute, GetNextCabinet, Status, GetOpenInfo, type);
}

int FlushFolder(FCIContext* context) { return FCIFlushFolder(context, GetNextCabinet, Status); }

int FlushCabinet(FCIContext* context, int32_t getNext) { return FCIFlushCabinet(context, getNext, GetNextCabinet, Status); }

CabParams DefaultParams(const std::string& dir, const std::string& cabinetName) {
    CabParams p{};
    p.maxCabinetSize = 0x7FFFFFFF;
    p.folderThreshold = 0x7FFFFFFF;
    p.cabinetNumber = 1;
    p.setId = 0x1234;
    std::snprintf(p.cabinetPath, sizeof p.cabinetPath, "%s/", dir.c_str());
    std::snprintf(p.cabinetName, sizeof p.cabinetName, "%s", cabinetName.c_str());
    std::snprintf(p.diskName, sizeof p.diskName, "DISK1");
    return p;
}

std::vector<std::string> TempFilesLeft(const std::string& dir) {
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().starts_with(kTempPrefix)) left.push_back(e.path().filename());
    return left;
}

}  // namespace fcitest

}  // namespace treepak
