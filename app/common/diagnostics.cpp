#include "app/common/diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "app/common/status_line.h"

namespace treepak {

namespace {

constexpr const char* kPrefix = "treepak: ";

int problems = 0;

void PrintLine(const char* format, va_list args) {
    // Console lines printed so far come first when both streams go to one
    // place, and the progress line must not run into this one.
    std::fflush(stdout);
    ClearStatusLine();
    std::fputs(kPrefix, stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

}  // namespace

void ReportProblem(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintLine(format, args);
    va_end(args);
    ++problems;
}

void ReportFailure(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PrintLine(format, args);
    va_end(args);
}

int ProblemCount() { return problems; }

void ResetDiagnostics() { problems = 0; }

}  // namespace treepak
