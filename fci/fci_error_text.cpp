// The texts the clients print after a failed operation's code.
#include "fci/fci.h"

namespace treepak {

namespace {

constexpr const char* kErrorTexts[] = {
    "No error",                                      // FCIERR_NONE
    "Failure opening file to be stored in cabinet",  // FCIERR_OPEN_SOURCE
    "Failure reading file to be stored in cabinet",  // FCIERR_READ_SOURCE
    "Insufficient memory in FCI",                    // FCIERR_NO_MEMORY
    "Could not create a temporary file",             // FCIERR_TEMP_FILE
    "Unknown compression type",                      // FCIERR_COMPRESSION_TYPE
    "Could not create cabinet file",                 // FCIERR_CABINET_FILE
    "Client requested abort",                        // FCIERR_ABORT
    "Failure compressing data",                      // FCIERR_COMPRESS
};
static_assert(sizeof kErrorTexts / sizeof kErrorTexts[0] == FCIERR_COMPRESS + 1);

}  // namespace

}  // namespace treepak

const char* FCIErrorText(int32_t code) {
    using namespace treepak;
    if (code < FCIERR_NONE || code > FCIERR_COMPRESS) return "Unknown error";
    return kErrorTexts[code];
}
