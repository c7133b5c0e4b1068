// Failure paths: every callback failing at every call a small spanning job
// makes must end in the right error code, with no temporary file, handle or
// allocation left behind and no unfinished cabinet on disk.
#include <set>

#include "fci_fixture.h"

namespace {

using fcitest::Op;

struct JobResult {
    bool ok = false;
    int destroyed = 0;
};

class FciFaultTest : public FciTest {
protected:
    std::string srcA, srcB, srcC;
    uint16_t typeAB = COMPRESS_NONE, typeC = COMPRESS_NONE;

    void SetUp() override {
        FciTest::SetUp();
        srcA = Source("a", testsupport::RandomBytes(30000, 1));
        srcB = Source("b", testsupport::TextBytes(20000, 2));
        srcC = Source("c", testsupport::RandomBytes(5000, 3));
    }

    // Three files, two folders, a set of two cabinets with reserve areas.
    JobResult RunJob(fcitest::Client* c, ErrorRecord* e) {
        CabParams p = fcitest::DefaultParams(c->dir, "job.cab");
        p.maxCabinetSize = 40000;
        p.headerReserveSize = 10;
        p.dataReserveSize = 4;
        JobResult r;
        FCIContext* ctx = fcitest::Create(c, e, p);
        if (ctx == nullptr) {
            r.destroyed = 1;
            return r;
        }
        r.ok = fcitest::AddFile(ctx, c, srcA, "a", typeAB) == 1 &&
               fcitest::AddFile(ctx, c, srcB, "b", typeAB) == 1 &&
               fcitest::FlushFolder(ctx) == 1 &&
               fcitest::AddFile(ctx, c, srcC, "c", typeC) == 1 &&
               fcitest::FlushCabinet(ctx) == 1;
        r.destroyed = FCIDestroy(ctx);
        return r;
    }

    std::vector<std::string> CabinetsLeft() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(scratch.path()))
            if (e.path().extension() == ".cab") names.push_back(e.path().filename().string());
        return names;
    }

    // Runs the job once to count the calls, then once for every call of
    // every callback with that call failing.
    void SweepFailures() {
        fcitest::Client counting;
        counting.dir = client.dir;
        ErrorRecord e{};
        ASSERT_TRUE(RunJob(&counting, &e).ok);
        CheckAndRemoveCabinets();

        const std::map<Op, std::set<int32_t>> allowed{
            // Compressors report their own allocation failures as a failed create.
            {fcitest::OP_ALLOC, {FCIERR_NO_MEMORY, FCIERR_COMPRESS}},
            {fcitest::OP_OPEN, {FCIERR_OPEN_SOURCE, FCIERR_CABINET_FILE}},
            {fcitest::OP_READ, {FCIERR_READ_SOURCE, FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {fcitest::OP_WRITE, {FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {fcitest::OP_SEEK, {FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {fcitest::OP_CLOSE, {FCIERR_TEMP_FILE, FCIERR_CABINET_FILE}},
            {fcitest::OP_DELETE, {FCIERR_TEMP_FILE}},
            {fcitest::OP_TEMP_NAME, {}},
        };
        for (const auto& [op, codes] : allowed) {
            ASSERT_GT(counting.calls[op], 0) << op;
            for (long k = 1; k <= counting.calls[op]; ++k) {
                SCOPED_TRACE(testing::Message() << "op " << op << " failing at call " << k);
                fcitest::Client c;
                c.dir = client.dir;
                c.failAt[op] = k;
                ErrorRecord errors{};
                JobResult r = RunJob(&c, &errors);
                if (!r.ok || r.destroyed == 0) {
                    EXPECT_EQ(errors.errorFlag, 1);
                    EXPECT_TRUE(codes.count(errors.errorCode)) << "code " << errors.errorCode;
                }
                EXPECT_TRUE(fcitest::TempFilesLeft(c.dir).empty());
                EXPECT_EQ(c.liveAllocations, 0);
                EXPECT_TRUE(c.openHandles.empty());
                CheckAndRemoveCabinets();
            }
        }
    }

    // Whatever cabinet is on disk after a run must be a finished one.
    void CheckAndRemoveCabinets() {
        for (const std::string& name : CabinetsLeft()) {
            testsupport::ParsedCabinet cab;
            EXPECT_EQ(testsupport::ParseCabinet(Bytes(name), &cab), "") << name;
            std::filesystem::remove(scratch.path() / name);
        }
    }
};

}  // namespace

TEST_F(FciFaultTest, EveryCallbackFailingAtEveryCall) {
    SweepFailures();
    typeAB = COMPRESS_DEFLATE;
    typeC = MakeLzxType(15);
    SweepFailures();
}

TEST_F(FciFaultTest, EveryStatusReportCanAbort) {
    fcitest::Client counting;
    counting.dir = client.dir;
    ErrorRecord e{};
    ASSERT_TRUE(RunJob(&counting, &e).ok);
    CheckAndRemoveCabinets();
    for (uint32_t kind : {FCI_STATUS_FILE, FCI_STATUS_FOLDER, FCI_STATUS_CABINET}) {
        long total = 0;
        for (const auto& s : counting.status) total += s.kind == kind;
        ASSERT_GT(total, 0);
        for (long k = 1; k <= total; ++k) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " report " << k);
            fcitest::Client c;
            c.dir = client.dir;
            c.statusAbortKind = static_cast<int32_t>(kind);
            c.statusAbortAt = k;
            ErrorRecord errors{};
            JobResult r = RunJob(&c, &errors);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.destroyed, 1);
            EXPECT_EQ(errors.errorCode, FCIERR_ABORT);
            EXPECT_EQ(errors.systemError, 0);
            EXPECT_TRUE(fcitest::TempFilesLeft(c.dir).empty());
            EXPECT_EQ(c.liveAllocations, 0);
            CheckAndRemoveCabinets();
        }
    }
}

// The engine asks for a fresh name at most eleven times, and never opens
// a name that already exists (it is left alone).
TEST_F(FciFaultTest, TemporaryNames) {
    for (long failures : {10L, 11L}) {
        fcitest::Client c;
        c.dir = client.dir;
        c.failAt[fcitest::OP_TEMP_NAME] = 1;
        c.failCount[fcitest::OP_TEMP_NAME] = failures;
        ErrorRecord errors{};
        FCIContext* ctx = fcitest::Create(&c, &errors, Params());
        EXPECT_EQ(ctx == nullptr, failures == 11) << failures;
        if (ctx != nullptr) EXPECT_EQ(FCIDestroy(ctx), 1);
        else EXPECT_EQ(errors.errorCode, FCIERR_TEMP_FILE);
        EXPECT_EQ(c.liveAllocations, 0);
    }
    testsupport::WriteFileText(scratch.path() / "fcitmp0000", "keep");
    ASSERT_TRUE(Create(Params()));
    ASSERT_EQ(Add("x", {1, 2, 3}), 1);
    ASSERT_EQ(fcitest::FlushCabinet(context), 1);
    EXPECT_EQ(Destroy(), 1);
    EXPECT_EQ(testsupport::ReadFileBytes(scratch.path() / "fcitmp0000").size(), 4u);
    std::filesystem::remove(scratch.path() / "fcitmp0000");
}
