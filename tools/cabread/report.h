// cabread's standard error: one line per problem, "cabread: " first.
#pragma once

#include <string>

namespace treepak {

void ReportReadProblem(const std::string& message);
// The same, shaped as the reader client's report callback.
void ReportToStandardError(void* context, const std::string& message);

}  // namespace treepak
