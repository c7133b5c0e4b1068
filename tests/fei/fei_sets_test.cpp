#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fei_harness.h"
#include "test_support.h"

namespace treepak {

namespace feitest {
namespace {

using testsupport::BuildCabinetBytes;
using testsupport::CabLayout;

constexpr uint16_t SET_ID = 0x4242;

std::string SetName(size_t index) { return "set" + std::to_string(index + 1) + ".cab"; }

struct StoredSet {
    std::vector<CabLayout> cabinets;
    std::vector<size_t> firstCabinet;  // per file
};

// One stored folder holding the files, cut into cabinets at the given
// positions of the stream. Each file is listed in every cabinet that holds a
// piece of one of its blocks, with the continuation value that says where it
// begins and ends.
StoredSet BuildStoredSet(const NamedBytes& files, const std::vector<uint32_t>& cuts,
                         bool reserves = false) {
    std::vector<uint8_t> stream;
    for (const auto& file : files) stream.insert(stream.end(), file.second.begin(), file.second.end());
    const auto blocks = testsupport::StoredBlocks(stream);
    const auto pieces = testsupport::CutFolderBlocks(blocks, cuts);
    const size_t count = pieces.size();
    auto cabinetsOf = [&](uint32_t p) {
        const uint32_t begin = p / CAB_BLOCK_SIZE * CAB_BLOCK_SIZE;
        const uint32_t end = std::min<uint32_t>(begin + CAB_BLOCK_SIZE, stream.size());
        const auto first = std::count_if(cuts.begin(), cuts.end(), [&](uint32_t c) { return c <= begin; });
        const auto last = std::count_if(cuts.begin(), cuts.end(), [&](uint32_t c) { return c < end; });
        return std::make_pair(static_cast<size_t>(first), static_cast<size_t>(last));
    };

    StoredSet set;
    set.cabinets.resize(count);
    for (size_t c = 0; c < count; ++c) {
        CabLayout& layout = set.cabinets[c];
        layout.setId = SET_ID;
        layout.cabinetIndex = static_cast<uint16_t>(c);
        layout.hasPrev = c > 0;
        layout.prevCabinet = c > 0 ? SetName(c - 1) : "";
        layout.prevDisk = "disk" + std::to_string(c);
        layout.hasNext = c + 1 < count;
        layout.nextCabinet = SetName(c + 1);
        layout.nextDisk = "disk" + std::to_string(c + 2);
        if (reserves) {
            layout.reservePresent = true;
            layout.headerReserveSize = static_cast<uint16_t>(3 + c);  // only the first one counts
            layout.folderReserveSize = 2;
            layout.dataReserveSize = 5;
            layout.reserveFill = static_cast<uint8_t>(0x10 + c);
        }
        testsupport::CabFolderLayout folder;
        folder.blocks = pieces[c];
        layout.folders.push_back(folder);
    }
    uint32_t offset = 0;
    for (const auto& [name, bytes] : files) {
        const auto size = static_cast<uint32_t>(bytes.size());
        const size_t first = size ? cabinetsOf(offset).first : cabinetsOf(offset).second;
        const size_t last = size ? cabinetsOf(offset + size - 1).second : first;
        set.firstCabinet.push_back(first);
        for (size_t c = first; c <= last; ++c) {
            testsupport::CabFileLayout entry{name, size, offset, 0, 0, 0, 0};
            if (c > first && c < last) entry.folderIndex = FOLDER_CONTINUED_PREV_AND_NEXT;
            else if (c > first) entry.folderIndex = FOLDER_CONTINUED_FROM_PREV;
            else if (c < last) entry.folderIndex = FOLDER_CONTINUED_TO_NEXT;
            set.cabinets[c].files.push_back(entry);
        }
        offset += size;
    }
    return set;
}

void Serve(Harness& h, const StoredSet& set) {
    for (size_t c = 0; c < set.cabinets.size(); ++c) h.cabinets[SetName(c)] = BuildCabinetBytes(set.cabinets[c]);
}

NamedBytes SomeFiles(uint64_t seed, size_t count, uint32_t largest) {
    testsupport::Rng rng(seed);
    NamedBytes files;
    for (size_t i = 0; i < count; ++i) {
        files.push_back({"file" + std::to_string(i),
                         testsupport::RandomBytes(rng.Below(largest), seed * 100 + i)});
    }
    return files;
}

TEST(FeiSets, TwoCabinetsWithASplitBlock) {
    const NamedBytes files = {{"a", testsupport::RandomBytes(30000, 1)},
                              {"b", testsupport::RandomBytes(20000, 2)},
                              {"c", testsupport::RandomBytes(40000, 3)}};
    const StoredSet set = BuildStoredSet(files, {40000});
    Harness h;
    Serve(h, set);
    ASSERT_EQ(h.Extract(SetName(0), "", true), 1) << h.error.errorCode;
    const auto next = h.OfKind(FEI_NOTIFY_NEXT_CABINET);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0]->text1 + " " + next[0]->text2, SetName(1) + " disk2");
    EXPECT_EQ(next[0]->setId + next[0]->cabinetIndex, SET_ID + 1);
    // Both pieces go through the hook: the first incomplete, the second at
    // its offset in the block with the running size.
    std::vector<std::string> split;
    for (const Event* e : h.OfKind(HOOK_EVENT_BASE + FEI_HOOK_DATA))
        if (e->complete == 0 || e->partOffset != 0)
            split.push_back(std::to_string(e->complete) + "/" + std::to_string(e->partOffset) + "/" +
                            std::to_string(e->dataSize));
    EXPECT_EQ(split, (std::vector<std::string>{"0/0/7232", "1/7232/32768"}));

    Harness second;
    Serve(second, set);
    ASSERT_EQ(second.Extract(SetName(1)), 1);
    const auto continued = second.OfKind(FEI_NOTIFY_CONTINUED_FILE);
    ASSERT_EQ(continued.size(), 2u);
    EXPECT_EQ(continued[0]->text1 + " " + continued[0]->text2, "b " + SetName(0));
}

TEST(FeiSets, RandomCutsAndDeclinedFiles) {
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        testsupport::Rng rng(seed);
        const NamedBytes files = SomeFiles(seed, 1 + rng.Below(8), 70000);
        uint32_t total = 0;
        for (const auto& f : files) total += static_cast<uint32_t>(f.second.size());
        std::vector<uint32_t> cuts;
        for (uint32_t n = rng.Below(4); n > 0 && total > 0; --n) cuts.push_back(1 + rng.Below(total));
        // A repeated cut leaves a cabinet holding a piece of 0 bytes.
        if (!cuts.empty() && seed % 5 == 0) cuts.push_back(cuts.back());
        std::sort(cuts.begin(), cuts.end());
        const StoredSet set = BuildStoredSet(files, cuts, seed % 2 == 0);
        Harness h;
        Serve(h, set);
        // Declining is by name, so a file offered again is declined again.
        h.reply = [&](int kind, FEINotification* n) {
            if (kind == FEI_NOTIFY_COPY_FILE && seed % 3 == 0 && std::string(n->text1).back() % 2) return 0;
            return h.DefaultReply(kind, n);
        };
        ASSERT_EQ(h.Extract(SetName(0)), 1) << h.error.errorCode;
        // Files that begin in the first cabinet come out whole; so may files
        // that begin later but are offered as continued while the walk goes
        // on in a later cabinet.
        for (size_t i = 0; i < files.size(); ++i) {
            const bool declined = seed % 3 == 0 && files[i].first.back() % 2;
            if (declined) {
                EXPECT_FALSE(h.extracted.count(files[i].first)) << files[i].first;
            } else if (set.firstCabinet[i] == 0 || h.extracted.count(files[i].first)) {
                EXPECT_EQ(h.extracted[files[i].first], files[i].second) << files[i].first;
            }
        }
    }
}

TEST(FeiSets, NextCabinetRetriesAsTheClientDirects) {
    const NamedBytes files = {{"a", testsupport::RandomBytes(40000, 7)}};
    const StoredSet set = BuildStoredSet(files, {35000});
    // The second cabinet is missing, then of another set, then found under
    // a name and path the client writes into the engine's buffers.
    Harness h;
    h.cabinets[SetName(0)] = BuildCabinetBytes(set.cabinets[0]);
    CabLayout stranger = set.cabinets[1];
    stranger.setId = SET_ID + 1;
    h.cabinets["other/stranger.cab"] = BuildCabinetBytes(stranger);
    h.cabinets["moved/" + SetName(1)] = BuildCabinetBytes(set.cabinets[1]);
    int attempt = 0;
    h.reply = [&](int kind, FEINotification* n) {
        if (kind != FEI_NOTIFY_NEXT_CABINET) return h.DefaultReply(kind, n);
        EXPECT_EQ(n->cabinetIndex, 1);
        switch (attempt++) {
            case 0: EXPECT_EQ(n->errorCode, 0); break;
            case 1:
                EXPECT_EQ(n->errorCode, FEIERR_OPEN_CABINET);
                std::snprintf(n->text1, FEI_NAME_BUFFER_SIZE, "stranger.cab");
                std::snprintf(n->text3, FEI_NAME_BUFFER_SIZE, "other/");
                break;
            default:
                EXPECT_EQ(n->errorCode, FEIERR_WRONG_CABINET);
                EXPECT_EQ(std::string(n->text1), "stranger.cab");
                std::snprintf(n->text1, FEI_NAME_BUFFER_SIZE, "%s", SetName(1).c_str());
                std::snprintf(n->text3, FEI_NAME_BUFFER_SIZE, "moved/");
        }
        return 0;
    };
    ASSERT_EQ(h.Extract(SetName(0)), 1) << h.error.errorCode;
    EXPECT_EQ(attempt, 3);
    EXPECT_EQ(h.extracted["a"], files[0].second);
    EXPECT_EQ(h.error.errorFlag, 0);
}

}  // namespace
}  // namespace feitest

}  // namespace treepak
