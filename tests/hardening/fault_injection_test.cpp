// The writer and reader engines driven through the tool's own callbacks,
// with one callback failing at its k-th call, for every k a small job
// reaches. Every run must fail with a code that fits the failing call and
// leave no temporary file, no open handle and no unfinished cabinet.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "app/build/block_memo.h"
#include "app/build/build_callbacks.h"
#include "app/build/cab_params.h"
#include "app/build/precompress.h"
#include "app/cli/options.h"
#include "fci/fci.h"
#include "fei/fei.h"
#include "platform/file_io.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;

namespace {

enum Op { OP_ALLOC, OP_OPEN, OP_READ, OP_WRITE, OP_SEEK, OP_CLOSE, OP_DELETE, OP_TEMP_NAME, OP_COUNT };
const char* const kOpNames[OP_COUNT] = {"alloc", "open", "read", "write", "seek", "close", "delete", "temp name"};

// One client's bookkeeping; the reader's callbacks take no context, so it
// is file-wide.
struct Faults {
    long calls[OP_COUNT] = {};
    Op failOp = OP_COUNT;
    long failAt = 0;
    bool injected = false;
    std::set<int32_t> openHandles;
    std::set<std::string> undeleted;             // paths whose delete was failed
    std::map<int32_t, std::string> cabinetOpens;  // writer: cabinet files open
    std::set<std::string> cabinetsUnclosed;        // writer: never closed successfully
} faults;

bool Hit(Op op) {
    if (++faults.calls[op] != faults.failAt || op != faults.failOp) return false;
    faults.injected = true;
    return true;
}

void* Alloc(uint32_t size) { return Hit(OP_ALLOC) ? nullptr : WriterAlloc(size); }

int32_t Track(int32_t handle) {
    if (handle >= 0) faults.openHandles.insert(handle);
    return handle;
}

bool Fails(Op op, int32_t* error, int32_t code) {
    if (!Hit(op)) return false;
    *error = code;
    return true;
}
int32_t WOpen(const char* path, int32_t flags, int32_t mode, int32_t* error, void* context) {
    if (Fails(OP_OPEN, error, EACCES)) return -1;
    int32_t handle = Track(BuildOpen(path, flags, mode, error, context));
    if (handle >= 0 && flags == FCI_OPEN_CABINET_FLAGS) {
        faults.cabinetOpens[handle] = path;
        faults.cabinetsUnclosed.insert(path);
    }
    return handle;
}
int32_t WRead(int32_t handle, void* buffer, uint32_t count, int32_t* error, void* context) {
    return Fails(OP_READ, error, EIO) ? -1 : BuildRead(handle, buffer, count, error, context);
}
int32_t WWrite(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void* context) {
    return Fails(OP_WRITE, error, ENOSPC) ? -1 : BuildWrite(handle, buffer, count, error, context);
}
int32_t WSeek(int32_t handle, int32_t offset, int origin, int32_t* error, void* context) {
    return Fails(OP_SEEK, error, EIO) ? -1 : BuildSeek(handle, offset, origin, error, context);
}
int32_t WClose(int32_t handle, int32_t* error, void* context) {
    // A failed close still releases the handle, as on the host.
    faults.openHandles.erase(handle);
    const bool fail = Hit(OP_CLOSE);
    int32_t result = BuildClose(handle, error, context);
    auto cabinet = faults.cabinetOpens.find(handle);
    if (cabinet != faults.cabinetOpens.end()) {
        if (!fail && result == 0) faults.cabinetsUnclosed.erase(cabinet->second);
        faults.cabinetOpens.erase(cabinet);
    }
    if (fail) {
        *error = EIO;
        return -1;
    }
    return result;
}
int32_t WDelete(const char* path, int32_t* error, void* context) {
    if (!Fails(OP_DELETE, error, EACCES)) return BuildDelete(path, error, context);
    faults.undeleted.insert(path);
    return -1;
}
int32_t WTempName(char* buffer, int32_t size, void* context) {
    return Hit(OP_TEMP_NAME) ? 0 : BuildGetTempFile(buffer, size, context);
}
int32_t WOpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t* error,
                  void* context) {
    if (Hit(OP_OPEN)) return -1;
    return Track(BuildGetOpenInfo(path, date, time, attributes, error, context));
}

int ROpen(const char* path, int flags, int) {
    if (Hit(OP_OPEN)) return -1;
    int32_t error = 0;
    const int32_t access = (flags & platform::OPEN_CREATE)
                               ? platform::OPEN_CREATE | platform::OPEN_TRUNCATE | platform::OPEN_WRITE_ONLY
                               : platform::OPEN_READ_ONLY;
    return Track(platform::OpenFile(path, access, platform::MODE_READ | platform::MODE_WRITE, &error));
}
int32_t RRead(int handle, void* buffer, uint32_t count) {
    int32_t error = 0;
    return Hit(OP_READ) ? -1 : platform::ReadFile(handle, buffer, count, &error);
}
int32_t RWrite(int handle, const void* buffer, uint32_t count) {
    int32_t error = 0;
    return Hit(OP_WRITE) ? -1 : platform::WriteFile(handle, buffer, count, &error);
}
int RClose(int handle) {
    faults.openHandles.erase(handle);
    const bool fail = Hit(OP_CLOSE);
    int32_t error = 0;
    const int result = platform::CloseFile(handle, &error);
    return fail ? -1 : result;
}
int32_t RSeek(int handle, int32_t offset, int origin) {
    int32_t error = 0;
    if (Hit(OP_SEEK)) return -1;
    const int64_t position = platform::SeekFile(handle, offset, origin, &error);
    return position > INT32_MAX ? -1 : static_cast<int32_t>(position);
}

fs::path outputDir;

int RNotify(int kind, FEINotification* n) {
    switch (kind) {
    case FEI_NOTIFY_COPY_FILE: {
        const std::string path = (outputDir / n->text1).string();
        const int handle = ROpen(path.c_str(), platform::OPEN_CREATE, 0);
        return handle < 0 ? FEI_REPLY_ABORT : handle;
    }
    case FEI_NOTIFY_CLOSE_FILE:
        return RClose(n->handle) == 0 ? 1 : 0;
    case FEI_NOTIFY_NEXT_CABINET:
        return n->errorCode == 0 ? 0 : FEI_REPLY_ABORT;
    default:
        return 0;
    }
}

class FaultInjection : public testing::Test {
protected:
    testsupport::ScratchDir scratch;
    fs::path tmp = scratch.path() / "tmp";
    fs::path src = scratch.path() / "src";
    fs::path cabs = scratch.path() / "cabs";

    void SetUp() override {
        for (const fs::path& dir : {tmp, cabs, scratch.path() / "out"}) fs::create_directories(dir);
        setenv("TMP", tmp.c_str(), 1);
        Options = ToolOptions{};
        Options.showLogo = false;
        testsupport::WriteFileBytes(src / "a.txt", testsupport::TextBytes(30000, 1));
        testsupport::WriteFileBytes(src / "b.bin", testsupport::RandomBytes(20000, 2));
        testsupport::WriteFileBytes(src / "c.txt", testsupport::TextBytes(5000, 3));
        testsupport::WriteFileText(src / "d.empty", "");
        outputDir = scratch.path() / "out";
    }
    void TearDown() override { unsetenv("TMP"); }

    static void Arm(Op op, long k) { faults = Faults{}, faults.failOp = op, faults.failAt = k; }

    // Four files, three folders (deflate, stored, LZX), a set of two
    // cabinets, with or without workers compressing ahead through a memo
    // (and then with the first cabinet's data area written in place).
    // True when every operation succeeded; *code gets the first failing
    // operation's error code (0 when only FCIDestroy failed).
    bool WriteJob(int32_t* code, bool workers = false) {
        CabParams params;
        FillCabParams(&params, (cabs / "job.cab").string());
        params.maxCabinetSize = 15000;
        BuildClientTotals totals{0, 0, "job.cab", BUILD_FIRST_CABINET_NUMBER, {}};
        ErrorRecord error{};
        FCIContext* context = FCICreate(&error, BuildFilePlaced, Alloc, EngineFree, WOpen, WRead, WWrite, WClose, WSeek,
                                        WDelete, WTempName, &params, &totals);
        *code = 0;
        if (context == nullptr) {
            *code = error.errorCode;
            return false;
        }
        BlockMemo memo;
        std::unique_ptr<Precompressor> ahead;
        std::vector<std::string> paths;
        for (const char* name : {"a.txt", "b.bin", "c.txt", "d.empty"}) paths.push_back((src / name).string());
        if (workers) {
            // The first cabinet is opened early, its data area expected at
            // an offset it turns out not to have, so that it moves.
            totals.expectedDataOffset = 100;
            FCISetDataAreaOffset(context, BuildDataAreaOffset);
        }
        if (workers && memo.Open(BUILD_TEMP_PREFIX)) {
            const FCIBlockMemo callbacks = memo.Callbacks();
            FCISetBlockMemo(context, callbacks.lookup, callbacks.store, callbacks.chainStart, &memo);
            // b.bin is stored: the engine reads it with nobody ahead.
            std::vector<PrecompressSource> sources = {{paths[0], 30000, COMPRESS_DEFLATE, true},
                                                      {paths[1], 20000, 0, true},
                                                      {paths[2], 5000, 0, false},
                                                      {paths[3], 0, 0, false}};
            ahead = std::make_unique<Precompressor>(callbacks, FeedOf(std::move(sources)), 3);
            totals.workers = ahead.get();
        }
        int next = 0;
        const uint16_t kLzx = MakeLzxType(15);
        auto add = [&](const char* name, uint16_t type) {
            if (ahead != nullptr) ahead->BeforeFile(next++);
            return FCIAddFile(context, (src / name).c_str(), name, 0, BuildGetNextCabinet, BuildStatus, WOpenInfo,
                              type);
        };
        bool ok = add("a.txt", COMPRESS_DEFLATE) && FCIFlushFolder(context, BuildGetNextCabinet, BuildStatus) &&
                  add("b.bin", COMPRESS_NONE) && add("c.txt", kLzx) && add("d.empty", kLzx) &&
                  FCIFlushCabinet(context, 0, BuildGetNextCabinet, BuildStatus);
        if (!ok) *code = error.errorCode;
        ahead.reset();
        return FCIDestroy(context) == 1 && ok;
    }

    bool ReadJob(int32_t* code) {
        ErrorRecord error{};
        FEIContext* context = FEICreate(Alloc, EngineFree, ROpen, RRead, RWrite, RClose, RSeek, 1, &error);
        bool ok = context != nullptr;
        const std::string path = cabs.string() + "/";
        for (const char* name : {"job.cab", "job2.cab"}) {
            ok = ok && FEIExtract(context, name, path.c_str(), 0, RNotify, nullptr, nullptr);
        }
        if (context != nullptr) FEIDestroy(context);
        *code = error.errorCode;
        return ok;
    }

    std::set<std::string> FilesIn(const fs::path& dir) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().string());
        return names;
    }

    // Runs `job` once with every call of every listed callback failing in
    // turn (as many as `counted`, a copy, saw); the code of a failed run must be
    // one of those listed for the callback, and `check` sees each run.
    template <typename Job, typename Check>
    void Sweep(const Faults counted, const std::map<Op, std::set<int32_t>>& allowed, Job job, Check check) {
        for (const auto& [op, codes] : allowed) {
            ASSERT_GT(counted.calls[op], 0) << kOpNames[op];
            for (long k = 1; k <= counted.calls[op]; ++k) {
                SCOPED_TRACE(testing::Message() << kOpNames[op] << " failing at call " << k);
                Arm(op, k);
                int32_t code = 0;
                const bool ok = job(&code);
                EXPECT_TRUE(faults.injected);
                EXPECT_TRUE(ok || codes.count(code)) << "code " << code;
                EXPECT_TRUE(faults.openHandles.empty()) << "a handle was left open";
                check(op, ok);
            }
        }
    }
};

// With workers compressing ahead, every failure must end the same way: the
// engine meets it on its own path, and the workers' memo leaves no file.
TEST_F(FaultInjection, WriterFailsCleanlyAtEveryCall) {
    for (const bool workers : {false, true}) {
        SCOPED_TRACE(workers ? "with workers" : "engine alone");
        Arm(OP_COUNT, 0);
        int32_t code = 0;
        ASSERT_TRUE(WriteJob(&code, workers));
        ASSERT_TRUE(fs::exists(cabs / "job2.cab"));  // the job spans two cabinets
        const std::map<Op, std::set<int32_t>> allowed{
            // A compressor that cannot get its memory fails its creation.
            {OP_ALLOC, {FCIERR_NO_MEMORY, FCIERR_COMPRESS}},
            {OP_OPEN, {FCIERR_OPEN_SOURCE, FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {OP_READ, {FCIERR_READ_SOURCE, FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {OP_WRITE, {FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {OP_SEEK, {FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {OP_CLOSE, {FCIERR_NONE, FCIERR_READ_SOURCE, FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {OP_DELETE, {FCIERR_NONE, FCIERR_TEMP_FILE}},
            {OP_TEMP_NAME, {}},
        };
        auto job = [&](int32_t* failed) {
            for (const std::string& old : FilesIn(cabs)) fs::remove(old);
            return WriteJob(failed, workers);
        };
        Sweep(faults, allowed, job, [&](Op op, bool ok) {
            // Temporary files are retried with fresh names, and a source that
            // was read to its end is done with whatever its close says.
            // A refused temporary name is asked for again.
            EXPECT_EQ(ok, op == OP_TEMP_NAME || (ok && (op == OP_OPEN || op == OP_CLOSE))) << kOpNames[op];
            std::set<std::string> left = FilesIn(tmp);
            for (const std::string& kept : faults.undeleted) left.erase(kept), fs::remove(kept);
            EXPECT_TRUE(left.empty()) << *left.begin();
            for (const std::string& cabinet : faults.cabinetsUnclosed) EXPECT_FALSE(fs::exists(cabinet)) << cabinet;
        });
    }
}

TEST_F(FaultInjection, ReaderFailsCleanlyAtEveryCall) {
    Arm(OP_COUNT, 0);
    int32_t code = 0;
    ASSERT_TRUE(WriteJob(&code));
    Arm(OP_COUNT, 0);
    ASSERT_TRUE(ReadJob(&code));
    EXPECT_EQ(testsupport::ReadFileBytes(outputDir / "c.txt"), testsupport::ReadFileBytes(src / "c.txt"));
    const std::map<Op, std::set<int32_t>> allowed{
        {OP_ALLOC, {FEIERR_NO_MEMORY}},
        // An output file that cannot be opened aborts from the notification.
        {OP_OPEN, {FEIERR_OPEN_CABINET, FEIERR_ABORT}},
        // The next cabinet that cannot be read is asked for again, and the
        // client gives up on the second request.
        {OP_READ, {FEIERR_OPEN_CABINET, FEIERR_NOT_A_CABINET, FEIERR_CORRUPT, FEIERR_ABORT}},
        {OP_WRITE, {FEIERR_TARGET_FILE}},
        {OP_SEEK, {FEIERR_OPEN_CABINET, FEIERR_NOT_A_CABINET, FEIERR_CORRUPT, FEIERR_ABORT}},
        // A cabinet left for the next one of its set that fails to close
        // counts as a broken set.
        {OP_CLOSE, {FEIERR_NONE, FEIERR_TARGET_FILE, FEIERR_CORRUPT}},
    };
    Sweep(faults, allowed, [&](int32_t* failed) { return ReadJob(failed); }, [&](Op op, bool ok) {
        // Closing a cabinet that was only read may fail unnoticed; a failed
        // run reports its code whatever the call.
        EXPECT_TRUE(op == OP_CLOSE || !ok);
    });
}

}  // namespace

}  // namespace treepak
