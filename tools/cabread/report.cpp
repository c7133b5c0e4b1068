#include "report.h"

#include <cstdio>

namespace treepak {

void ReportReadProblem(const std::string& message) { std::fprintf(stderr, "cabread: %s\n", message.c_str()); }

void ReportToStandardError(void*, const std::string& message) { ReportReadProblem(message); }

}  // namespace treepak
