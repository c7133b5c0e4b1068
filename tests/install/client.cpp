// A client of the installed library, built only from the installed headers:
// it packs a small tree (one block-deflate and one LZX file, one of them in a
// subdirectory) into a cabinet through the writer engine, expands it
// through the reader engine and compares the bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <treepak/fci.h>
#include <treepak/fei.h>
#include <treepak/format.h>
#include <treepak/version.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace treepak {

namespace {

std::string g_dir;  // the scratch directory, with a trailing '/'
int g_temps = 0;

int HostFlags(int flags) {
    const int access = flags & IO_OPEN_ACCESS_MASK;
    int host = access == IO_OPEN_READ_WRITE ? O_RDWR : access == IO_OPEN_WRITE_ONLY ? O_WRONLY : O_RDONLY;
    if (flags & IO_OPEN_CREATE) host |= O_CREAT;
    if (flags & IO_OPEN_TRUNCATE) host |= O_TRUNC;
    if (flags & IO_OPEN_EXCLUSIVE) host |= O_EXCL;
    return host;
}
int Whence(int origin) { return origin == IO_SEEK_SET ? SEEK_SET : origin == IO_SEEK_CUR ? SEEK_CUR : SEEK_END; }
int32_t Failed(int32_t* error) { return *error = errno, -1; }

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }
int32_t Open(const char* path, int32_t flags, int32_t mode, int32_t* error, void*) {
    const int fd = open(path, HostFlags(flags), mode);
    return fd < 0 ? Failed(error) : fd;
}
int32_t Read(int32_t fd, void* buffer, uint32_t count, int32_t* error, void*) {
    const ssize_t n = read(fd, buffer, count);
    return n < 0 ? Failed(error) : static_cast<int32_t>(n);
}
int32_t Write(int32_t fd, const void* buffer, uint32_t count, int32_t* error, void*) {
    const ssize_t n = write(fd, buffer, count);
    return n < 0 ? Failed(error) : static_cast<int32_t>(n);
}
int32_t Close(int32_t fd, int32_t* error, void*) { return close(fd) < 0 ? Failed(error) : 0; }
int32_t Seek(int32_t fd, int32_t offset, int origin, int32_t* error, void*) {
    const off_t at = lseek(fd, offset, Whence(origin));
    return at < 0 ? Failed(error) : static_cast<int32_t>(at);
}
int32_t Delete(const char* path, int32_t* error, void*) { return unlink(path) < 0 ? Failed(error) : 0; }
int32_t TempName(char* buffer, int32_t size, void*) {
    return std::snprintf(buffer, size, "%stemp%d", g_dir.c_str(), g_temps++) < size;
}
int32_t Placed(CabParams*, const char*, uint32_t, int32_t, void*) { return 0; }
int32_t NextCabinet(CabParams*, uint32_t, void*) { return 0; }
int32_t Status(uint32_t, uint32_t, uint32_t, void*) { return 0; }
int32_t OpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t* error, void*) {
    *date = 0x5A21, *time = 0x6000, *attributes = FILE_ATTR_ARCHIVE;
    return Open(path, IO_OPEN_READ_ONLY, 0, error, nullptr);
}

int ReaderOpen(const char* path, int flags, int mode) { return open(path, HostFlags(flags), mode); }
int32_t ReaderRead(int fd, void* buffer, uint32_t count) { return static_cast<int32_t>(read(fd, buffer, count)); }
int32_t ReaderWrite(int fd, const void* buffer, uint32_t count) { return static_cast<int32_t>(write(fd, buffer, count)); }
int ReaderClose(int fd) { return close(fd); }
int32_t ReaderSeek(int fd, int32_t offset, int origin) { return static_cast<int32_t>(lseek(fd, offset, Whence(origin))); }
int Notify(int kind, FEINotification* n) {
    if (kind == FEI_NOTIFY_COPY_FILE) {
        std::string path = g_dir + "out/" + n->text1;
        for (char& c : path) c = c == '\\' ? '/' : c;
        mkdir((g_dir + "out").c_str(), 0700);
        mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
        return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (kind == FEI_NOTIFY_CLOSE_FILE) return close(n->handle) == 0 ? FEI_REPLY_CLOSED : FEI_REPLY_CONTINUE;
    return FEI_REPLY_CONTINUE;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Fail(const char* what, const ErrorRecord& error) {
    std::printf("%s failed: code %d, system error %d\n", what, error.errorCode, error.systemError);
    return 1;
}

}  // namespace

}  // namespace treepak

int main(int, char** argv) {
    using namespace treepak;
    g_dir = std::string(argv[1]) + "/";
    const struct { const char* path; const char* stored; uint16_t type; } files[] = {
        {"top.txt", "top.txt", COMPRESS_DEFLATE}, {"sub/deep.txt", "sub\\deep.txt", MakeLzxType(16)}};
    mkdir((g_dir + "sub").c_str(), 0700);
    for (const auto& f : files) {
        std::ofstream out(g_dir + f.path, std::ios::binary);
        for (int i = 0; i < 5000; ++i) out << f.stored << " line " << i * i % 97 << "\n";
    }

    ErrorRecord error{};
    CabParams params{};
    std::strcpy(params.cabinetName, "tree.cab");
    std::strcpy(params.cabinetPath, g_dir.c_str());
    FCIContext* writer = FCICreate(&error, Placed, Alloc, Free, Open, Read, Write, Close, Seek, Delete, TempName,
                                   &params, nullptr);
    if (writer == nullptr) return Fail("FCICreate", error);
    for (const auto& f : files) {
        if (!FCIAddFile(writer, (g_dir + f.path).c_str(), f.stored, 0, NextCabinet, Status, OpenInfo, f.type))
            return Fail("FCIAddFile", error);
    }
    if (!FCIFlushCabinet(writer, 0, NextCabinet, Status) || !FCIDestroy(writer)) return Fail("FCIFlushCabinet", error);

    FEIContext* reader = FEICreate(Alloc, Free, ReaderOpen, ReaderRead, ReaderWrite, ReaderClose, ReaderSeek, 1, &error);
    if (reader == nullptr) return Fail("FEICreate", error);
    if (!FEIExtract(reader, "tree.cab", g_dir.c_str(), 0, Notify, nullptr, nullptr)) return Fail("FEIExtract", error);
    FEIDestroy(reader);
    for (const auto& f : files) {
        if (Contents(g_dir + f.path) != Contents(g_dir + "out/" + f.path)) {
            std::printf("%s differs after the round trip\n", f.path);
            return 1;
        }
    }
    std::printf("packed and expanded a tree with treepak %s\n", TREEPAK_VERSION_STRING);
    return 0;
}
