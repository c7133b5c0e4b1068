// A reader client for tests: cabinets served from memory through the
// engine's callbacks, output files collected in memory, every notification
// and hook call recorded, and hooks for changing the client's replies. The
// callbacks carry no context, so one harness is current at a time. Also the
// stored one-folder cabinet the reader tests start from.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cab_builder.h"
#include "cabinet/format.h"
#include "fei/fei.h"

namespace treepak {

namespace feitest {

struct Event {
    int kind;  // FEI_NOTIFY_* kind, or 100 + FEI_HOOK_* kind for hook calls
    int32_t value = 0;
    std::string text1, text2, text3;
    uint16_t date = 0, attributes = 0, setId = 0, cabinetIndex = 0, folderIndex = 0;
    std::vector<uint8_t> reserve;
    bool reserveNull = false;
    uint16_t dataSize = 0, partOffset = 0;
    int32_t complete = 0;
};
inline constexpr int HOOK_EVENT_BASE = 100;

struct Harness {
    Harness();
    ~Harness();

    std::map<std::string, std::vector<uint8_t>> cabinets;
    std::map<int, std::vector<uint8_t>> outputs;
    std::map<std::string, std::vector<uint8_t>> extracted;  // by name, at CLOSE_FILE
    std::vector<Event> events;

    // Reply policy; the default extracts everything and accepts every cabinet.
    std::function<int(int kind, FEINotification* n)> reply;
    std::function<int(FEIHookRecord* r)> hookReply;

    int allocations = 0, reads = 0;
    std::set<int> openHandles;
    size_t liveAllocations = 0;
    int failAllocationNumber = -1;  // the n-th allocation (from 0) fails
    int writeLimit = -1;            // writes return fewer bytes once this is reached

    ErrorRecord error{};
    FEIContext* context = nullptr;

    int Extract(const std::string& name, const std::string& path = "", bool withHook = false);
    void Destroy();

    std::vector<int> Kinds() const;
    std::vector<const Event*> OfKind(int kind) const;
    int DefaultReply(int kind, FEINotification* n);
    int NewHandle(const std::string& path, bool output);

    struct OpenFile {
        std::string path;
        size_t position = 0;
        bool output = false;
    };
    std::map<int, OpenFile> handles;
    int nextHandle = 3;

private:
    Harness* previous_;  // harnesses nest; the newest one serves the callbacks
};

extern Harness* current;

using NamedBytes = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

inline testsupport::CabLayout StoredCabinet(const NamedBytes& files, uint16_t type = COMPRESS_NONE) {
    testsupport::CabLayout layout;
    std::vector<uint8_t> stream;
    for (const auto& [name, bytes] : files) {
        testsupport::CabFileLayout f;
        f.name = name;
        f.size = static_cast<uint32_t>(bytes.size());
        f.folderOffset = static_cast<uint32_t>(stream.size());
        layout.files.push_back(f);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    testsupport::CabFolderLayout folder;
    folder.compressionType = type;
    folder.blocks = testsupport::StoredBlocks(stream);
    layout.folders.push_back(folder);
    return layout;
}

}  // namespace feitest

}  // namespace treepak
