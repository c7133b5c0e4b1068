// Failure paths: every callback failing at every call a small spanning job
// makes, and every status report aborting, must end in the right error code
// with no temporary file, handle or allocation left behind and no
// unfinished cabinet on disk.
#include <set>

#include "fci_fixture.h"

namespace treepak {

namespace {

using fcitest::Op;

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
    // True when every call and the destroy succeeded; checks what is left.
    bool RunJob(fcitest::Client* c, ErrorRecord* e, bool* destroyed = nullptr) {
        c->dir = client.dir;
        CabParams p = fcitest::DefaultParams(c->dir, "job.cab");
        p.maxCabinetSize = 40000;
        p.headerReserveSize = 10;
        p.dataReserveSize = 4;
        FCIContext* ctx = fcitest::Create(c, e, p);
        const bool ok = ctx != nullptr && fcitest::AddFile(ctx, srcA, "a", typeAB) == 1 &&
                        fcitest::AddFile(ctx, srcB, "b", typeAB) == 1 && fcitest::FlushFolder(ctx) == 1 &&
                        fcitest::AddFile(ctx, srcC, "c", typeC) == 1 && fcitest::FlushCabinet(ctx) == 1;
        const bool gone = ctx == nullptr || FCIDestroy(ctx) == 1;
        if (destroyed != nullptr) *destroyed = gone;
        EXPECT_TRUE(fcitest::TempFilesLeft(c->dir).empty());
        EXPECT_EQ(c->liveAllocations, 0);
        EXPECT_TRUE(c->openHandles.empty());
        // Whatever cabinet is on disk after a run must be a finished one.
        for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
            if (entry.path().extension() != ".cab") continue;
            testsupport::ParsedCabinet cab;
            EXPECT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(entry.path()), &cab), "") << entry.path();
            std::filesystem::remove(entry.path());
        }
        return ok && gone;
    }

    // Runs the job once to count the calls, then once for every call of
    // every callback with that call failing.
    void SweepFailures() {
        fcitest::Client counting;
        ErrorRecord e{};
        ASSERT_TRUE(RunJob(&counting, &e));
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
                c.failAt[op] = k;
                ErrorRecord errors{};
                if (!RunJob(&c, &errors)) {
                    EXPECT_EQ(errors.errorFlag, 1);
                    EXPECT_TRUE(codes.count(errors.errorCode)) << "code " << errors.errorCode;
                }
            }
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
    ErrorRecord e{};
    ASSERT_TRUE(RunJob(&counting, &e));
    for (uint32_t kind : {FCI_STATUS_FILE, FCI_STATUS_FOLDER, FCI_STATUS_CABINET}) {
        long total = 0;
        for (const auto& s : counting.status) total += s.kind == kind;
        ASSERT_GT(total, 0);
        for (long k = 1; k <= total; ++k) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " report " << k);
            fcitest::Client c;
            c.statusAbortKind = static_cast<int32_t>(kind);
            c.statusAbortAt = k;
            ErrorRecord errors{};
            bool destroyed = false;
            EXPECT_FALSE(RunJob(&c, &errors, &destroyed));
            EXPECT_TRUE(destroyed);
            EXPECT_EQ(errors.errorCode, FCIERR_ABORT);
            EXPECT_EQ(errors.systemError, 0);
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

}  // namespace treepak
