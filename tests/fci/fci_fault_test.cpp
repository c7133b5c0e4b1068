// Every status report aborting a small spanning job must end in an abort
// with no temporary file, handle or allocation left behind and no
// unfinished cabinet on disk. (Callback failures are swept in hardening.)
#include "fci_fixture.h"

namespace treepak {

namespace {

class FciFaultTest : public FciTest {
protected:
    std::string srcA, srcB, srcC;

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
        const bool ok = ctx != nullptr && fcitest::AddFile(ctx, srcA, "a", COMPRESS_DEFLATE) == 1 &&
                        fcitest::AddFile(ctx, srcB, "b", COMPRESS_DEFLATE) == 1 && fcitest::FlushFolder(ctx) == 1 &&
                        fcitest::AddFile(ctx, srcC, "c", MakeLzxType(15)) == 1 && fcitest::FlushCabinet(ctx) == 1;
        const bool gone = ctx == nullptr || FCIDestroy(ctx) == 1;
        if (destroyed != nullptr) *destroyed = gone;
        EXPECT_TRUE(fcitest::TempFilesLeft(c->dir).empty());
        EXPECT_EQ(c->liveAllocations, 0);
        EXPECT_TRUE(c->openHandles.empty());
        for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
            if (entry.path().extension() != ".cab") continue;
            testsupport::ParsedCabinet cab;
            EXPECT_EQ(testsupport::ParseCabinet(testsupport::ReadFileBytes(entry.path()), &cab), "") << entry.path();
            std::filesystem::remove(entry.path());
        }
        return ok && gone;
    }
};

}  // namespace

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

}  // namespace treepak
