// How many threads may compress at once: TREEPAK_THREADS when it holds a
// whole number from 1 up (at most THREADS_LIMIT), else one per hardware
// thread, at most the given default limit.
#pragma once

namespace treepak {

namespace platform {

inline constexpr const char* THREADS_VARIABLE = "TREEPAK_THREADS";
inline constexpr int THREADS_LIMIT = 64;

int CompressingThreads(int defaultLimit);

}  // namespace platform

}  // namespace treepak
