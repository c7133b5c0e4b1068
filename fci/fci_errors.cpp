// Error recording, status reports and name copying shared by the engine.
#include <cstring>

#include "fci/fci_internal.h"

namespace treepak {

void RecordError(const FciIo& io, int32_t code, int32_t systemError) {
    io.errors->errorCode = code;
    io.errors->systemError = systemError;
    io.errors->errorFlag = 1;
}

bool ReportStatus(const FciIo& io, FCIStatusFn status, uint32_t kind, uint32_t size1,
                  uint32_t size2) {
    if (status == nullptr) return true;
    if (status(kind, size1, size2, io.clientContext) == -1) {
        RecordError(io, FCIERR_ABORT, 0);
        return false;
    }
    return true;
}

void CopyName(char* dest, const char* source) {
    uint32_t n = 0;
    if (source != nullptr) {
        while (n < FCI_NAME_SIZE - 1 && source[n] != '\0') ++n;
        std::memcpy(dest, source, n);
    }
    dest[n] = '\0';
}

uint32_t NameLength(const char* name) { return static_cast<uint32_t>(std::strlen(name)); }

}  // namespace treepak
