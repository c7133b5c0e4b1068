// The error record both engines fill on failure. It belongs to the client;
// recording an error sets all three fields at once, and nothing clears it.
#pragma once

#include <cstdint>

struct ErrorRecord {
    int32_t errorCode;    // FCIERR_* for the writer, FEIERR_* for the reader
    int32_t systemError;  // the error value a failing callback reported, else 0
    int32_t errorFlag;    // 1 once any error has been recorded
};
