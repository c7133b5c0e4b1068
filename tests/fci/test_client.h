// A writer-engine client for tests: POSIX file callbacks with temporary
// files in a scratch directory, a log of every report the engine makes, and
// fault injection (any callback can be made to fail at its k-th call).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fci/fci.h"

namespace treepak {

namespace fcitest {

enum Op { OP_ALLOC, OP_OPEN, OP_READ, OP_WRITE, OP_SEEK, OP_CLOSE, OP_DELETE, OP_TEMP_NAME, OP_COUNT };

struct StatusReport {
    uint32_t kind, size1, size2;
};
struct PlacedReport {
    int32_t cabinetNumber;
    std::string name;
    uint32_t size;
    int32_t continuation;
};
struct NextReport {
    int32_t cabinetNumber;  // of the next cabinet, as the engine proposed it
    uint32_t estimate;
};

struct Client {
    std::string dir;         // temporary files and cabinets live here
    std::string nextPattern = "cab%d.cab";  // printf pattern with the cabinet number
    int tempCounter = 0;

    long calls[OP_COUNT] = {};
    long failAt[OP_COUNT] = {};  // 0: never; k: calls k .. k + failCount - 1 fail
    long failCount[OP_COUNT] = {1, 1, 1, 1, 1, 1, 1, 1};
    int32_t statusAbortKind = -1;      // FCI_STATUS_* kind answered with -1
    long statusAbortAt = 0;            // at its k-th report of that kind
    int32_t cabinetStatusResult = 0;   // answer to FCI_STATUS_CABINET
    bool abortPlaced = false, abortNext = false;
    int32_t nextMaxCabinetSize = -1;   // >= 0: set in the next parameters
    bool newDiskEachCabinet = false;   // give each next cabinet a new diskNumber

    std::vector<StatusReport> status;
    std::vector<PlacedReport> placed;
    std::vector<NextReport> nexts;
    long liveAllocations = 0;
    std::map<int32_t, std::string> openHandles;
};

// Installs the client for the process-wide alloc callbacks (which take no
// context) and creates the writer with the client's callbacks.
FCIContext* Create(Client* client, ErrorRecord* errors, const CabParams& params);
int AddFile(FCIContext* context, const std::string& source, const std::string& name, uint16_t type,
            int32_t execute = 0);
int FlushFolder(FCIContext* context);
int FlushCabinet(FCIContext* context, int32_t getNext = 0);

CabParams DefaultParams(const std::string& dir, const std::string& cabinetName);

std::vector<std::string> TempFilesLeft(const std::string& dir);

}  // namespace fcitest

}  // namespace treepak
