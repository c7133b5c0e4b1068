// TP_ASSERT(condition): an assumption of the code that no input can break,
// checked at run time in test, sanitizer and fuzzing builds (the build
// defines TREEPAK_ASSERTS) and compiled out of release builds, where the
// condition is not evaluated. A broken assumption prints where it is and
// aborts.
#pragma once

#if defined(TREEPAK_ASSERTS) && TREEPAK_ASSERTS
#include <cstdio>
#include <cstdlib>

namespace treepak {
[[noreturn]] inline void AssumptionFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: assumption failed: %s\n", file, line, condition);
    std::abort();
}
}  // namespace treepak

#define TP_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : treepak::AssumptionFailed(#condition, __FILE__, __LINE__))
#else
#define TP_ASSERT(condition) static_cast<void>(sizeof(!(condition)))
#endif
