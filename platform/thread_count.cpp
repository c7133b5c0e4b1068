#include "platform/thread_count.h"

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace treepak {

namespace platform {

int CompressingThreads(int defaultLimit) {
    const char* value = std::getenv(THREADS_VARIABLE);
    if (value != nullptr && *value != '\0') {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(value, &end, 10);
        if (*end == '\0' && errno == 0 && n >= 1) return n < THREADS_LIMIT ? static_cast<int>(n) : THREADS_LIMIT;
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0) return 1;
    return hardware < static_cast<unsigned>(defaultLimit) ? static_cast<int>(hardware) : defaultLimit;
}

}  // namespace platform

}  // namespace treepak
