#include <gtest/gtest.h>

#include <map>

#include "fei_harness.h"
#include "test_support.h"

namespace treepak {

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

TEST(FeiWalk, NotifiesEveryFileAndExtractsItsBytes) {
    Harness h;
    const auto a = testsupport::TextBytes(50000, 1);
    const auto b = testsupport::RandomBytes(40000, 2);
    const std::string longest(255, 'n');
    CabLayout layout = StoredCabinet({{"dir\\a.txt", a}, {"empty", {}}, {longest, b}});
    layout.setId = 0x1234;
    layout.files[0].date = 0x5A21;
    layout.files[2].attributes = FILE_ATTR_EXECUTE | FILE_ATTR_HIDDEN;
    h.cabinets["/c/x.cab"] = BuildCabinetBytes(layout);

    ASSERT_EQ(h.Extract("x.cab", "/c/"), 1);
    EXPECT_EQ(h.Kinds(), (std::vector<int>{FEI_NOTIFY_CABINET_INFO, FEI_NOTIFY_FILE_TABLE,
                                           FEI_NOTIFY_COPY_FILE, FEI_NOTIFY_CLOSE_FILE,
                                           FEI_NOTIFY_COPY_FILE, FEI_NOTIFY_CLOSE_FILE,
                                           FEI_NOTIFY_COPY_FILE, FEI_NOTIFY_CLOSE_FILE,
                                           FEI_NOTIFY_FILE_TABLE}));
    EXPECT_EQ(h.events[0].text3, "/c/");
    EXPECT_EQ(h.events[0].setId, 0x1234);
    EXPECT_EQ(h.events[1].folderIndex, 3);                           // files in the table
    EXPECT_EQ(static_cast<uint32_t>(h.events[1].value), 36u + 8u);  // right after one folder entry
    EXPECT_EQ(h.events[2].value, 50000);
    EXPECT_EQ(h.events[2].date, 0x5A21);
    // Execute bit: reported in value and cleared from the attributes.
    EXPECT_EQ(h.events[7].value, 1);
    EXPECT_EQ(h.events[7].attributes, FILE_ATTR_HIDDEN);
    EXPECT_EQ(h.extracted, (std::map<std::string, std::vector<uint8_t>>{{"dir\\a.txt", a}, {"empty", {}}, {longest, b}}));
}

TEST(FeiWalk, DecliningEveryFileReadsNoDataBlock) {
    Harness h;
    h.cabinets["x.cab"] = BuildCabinetBytes(StoredCabinet({{"a", std::vector<uint8_t>(70000, 7)}}));
    h.reply = [](int, FEINotification*) { return 0; };
    ASSERT_EQ(h.Extract("x.cab"), 1);
    // Header, fixed bytes of the file entry and its name: nothing more.
    EXPECT_LE(h.reads, 3);
    EXPECT_TRUE(h.outputs.empty());
}

// Raising the count and moving the position walks a table the header does
// not announce; a count of 0 at the start ends the walk at once.
TEST(FeiWalk, FileTableRewrites) {
    Harness h;
    CabLayout layout = StoredCabinet({{"one", {1, 2, 3}}, {"two", {4, 5}}});
    layout.fileCountOverride = 0;
    h.cabinets["hidden.cab"] = BuildCabinetBytes(layout);
    const uint32_t secondEntry = 36 + 8 + 16 + 4;  // after "one"
    int tables = 0;
    h.reply = [&](int kind, FEINotification* n) {
        if (kind == FEI_NOTIFY_FILE_TABLE && tables++ == 0) {
            n->folderIndex = 1;
            n->value = static_cast<int32_t>(secondEntry);
            return 0;
        }
        return h.DefaultReply(kind, n);
    };
    ASSERT_EQ(h.Extract("hidden.cab"), 1);
    EXPECT_EQ(h.extracted, (std::map<std::string, std::vector<uint8_t>>{{"two", {4, 5}}}));

    h.reply = [&](int kind, FEINotification* n) {
        if (kind == FEI_NOTIFY_FILE_TABLE) n->folderIndex = 0;
        return h.DefaultReply(kind, n);
    };
    h.extracted.clear();
    h.cabinets["x.cab"] = BuildCabinetBytes(StoredCabinet({{"one", {1}}}));
    ASSERT_EQ(h.Extract("x.cab"), 1);
    EXPECT_TRUE(h.extracted.empty());
}

TEST(FeiWalk, RepliesThatAbortOrFail) {
    const auto cabinet = BuildCabinetBytes(StoredCabinet({{"a", {1, 2}}, {"b", {3}}}));
    for (int abortKind : {FEI_NOTIFY_CABINET_INFO, FEI_NOTIFY_FILE_TABLE, FEI_NOTIFY_COPY_FILE,
                          FEI_NOTIFY_CLOSE_FILE}) {
        Harness h;
        h.cabinets["x.cab"] = cabinet;
        h.reply = [&](int kind, FEINotification* n) {
            return kind == abortKind ? -1 : h.DefaultReply(kind, n);
        };
        EXPECT_EQ(h.Extract("x.cab"), 0) << abortKind;
        EXPECT_EQ(h.error.errorCode, FEIERR_ABORT);
        EXPECT_EQ(h.error.errorFlag, 1);
        // On an aborted close the engine closes the output handle itself
        // (the harness checks that nothing stays open).
    }
    Harness h;
    h.cabinets["x.cab"] = cabinet;
    h.reply = [&](int kind, FEINotification* n) {
        const int reply = h.DefaultReply(kind, n);
        return kind == FEI_NOTIFY_CLOSE_FILE ? 0 : reply;
    };
    EXPECT_EQ(h.Extract("x.cab"), 0);
    EXPECT_EQ(h.error.errorCode, FEIERR_TARGET_FILE);

    Harness shortWrite;
    shortWrite.cabinets["x.cab"] = cabinet;
    shortWrite.writeLimit = 1;
    EXPECT_EQ(shortWrite.Extract("x.cab"), 0);
    EXPECT_EQ(shortWrite.error.errorCode, FEIERR_TARGET_FILE);
}

TEST(FeiWalk, HooksSeeReservesFoldersAndBlocks) {
    Harness h;
    CabLayout layout = StoredCabinet({{"a", testsupport::RandomBytes(40000, 5)}});
    layout.reservePresent = true;
    layout.headerReserveSize = 6;
    layout.folderReserveSize = 3;
    layout.dataReserveSize = 2;
    layout.reserveFill = 0xEE;
    h.cabinets["x.cab"] = BuildCabinetBytes(layout);
    int dataCalls = 0;
    h.hookReply = [&](FEIHookRecord* r) {
        if (r->kind == FEI_HOOK_DATA && dataCalls++ == 0) r->data[0] ^= 0xFF;
        return 0;
    };
    ASSERT_EQ(h.Extract("x.cab", "", true), 1);
    std::vector<std::vector<uint8_t>> reserves;
    for (const Event& e : h.events)
        if (e.kind >= HOOK_EVENT_BASE) reserves.push_back(e.reserve);
    EXPECT_EQ(reserves, (std::vector<std::vector<uint8_t>>{std::vector<uint8_t>(6, 0xEE), std::vector<uint8_t>(3, 0xEE),
                                                          std::vector<uint8_t>(2, 0xEE), std::vector<uint8_t>(2, 0xEE)}));
    EXPECT_EQ(h.events.back().kind, FEI_NOTIFY_FILE_TABLE);
    auto expected = testsupport::RandomBytes(40000, 5);
    expected[0] ^= 0xFF;
    EXPECT_EQ(h.extracted["a"], expected);

    // Without reserves the hook sees null areas; a -1 from the hook aborts.
    Harness plain;
    plain.cabinets["x.cab"] = BuildCabinetBytes(StoredCabinet({{"a", {1}}}));
    plain.hookReply = [](FEIHookRecord* r) { return r->kind == FEI_HOOK_DATA ? -1 : 0; };
    EXPECT_EQ(plain.Extract("x.cab", "", true), 0);
    EXPECT_EQ(plain.error.errorCode, FEIERR_ABORT);
    EXPECT_TRUE(plain.OfKind(HOOK_EVENT_BASE + FEI_HOOK_CABINET)[0]->reserveNull);
}

TEST(FeiWalk, ReserveSizesAreKeptFromTheFirstCabinet) {
    Harness h;
    CabLayout first = StoredCabinet({{"a", {1, 2, 3}}});
    first.reservePresent = true;
    first.folderReserveSize = 4;
    h.cabinets["1.cab"] = BuildCabinetBytes(first);
    CabLayout other = first;
    other.folderReserveSize = 5;
    h.cabinets["2.cab"] = BuildCabinetBytes(other);
    ASSERT_EQ(h.Extract("1.cab"), 1);
    EXPECT_EQ(h.Extract("2.cab"), 0);
    EXPECT_EQ(h.error.errorCode, FEIERR_RESERVE_MISMATCH);
    EXPECT_EQ(h.Extract("1.cab"), 1);
}

TEST(FeiWalk, EveryAllocationFailing) {
    const auto cabinet = BuildCabinetBytes(StoredCabinet({{"a", {1, 2, 3}}}));
    for (int n = 0;; ++n) {
        ASSERT_LT(n, 100);
        Harness h;
        h.cabinets["x.cab"] = cabinet;
        h.failAllocationNumber = n;
        if (h.Extract("x.cab") == 1) {
            EXPECT_GT(n, 1);
            break;
        }
        EXPECT_EQ(h.error.errorCode, FEIERR_NO_MEMORY) << n;
        EXPECT_EQ(h.context == nullptr, n == 0) << n;
    }
}

}  // namespace
}  // namespace feitest

}  // namespace treepak
