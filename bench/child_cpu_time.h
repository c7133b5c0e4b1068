// CPU seconds (user + system) used so far by the children this process has
// waited for. A program run through std::system is timed by the difference
// across the call: on a shared, loaded machine that compares fairly with
// the CPU time Google Benchmark uses for in-process code, where wall time
// would charge the program for every other process on the machine. The
// shell that std::system starts is included; it costs about a millisecond.
#pragma once

#include <sys/resource.h>

namespace treepak {

inline double ChildCpuSeconds() {
    constexpr double kMicrosecond = 1e-6;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * kMicrosecond;
}

}  // namespace treepak
