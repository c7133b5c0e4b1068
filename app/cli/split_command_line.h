// Splits a command line given as one string into arguments. Only the space
// separates arguments (a tab is an ordinary character); double quotes group
// spaces into an argument and are never kept; a quote inside an argument
// becomes a space ("a\"b c\"" gives "a b c"); "\"\"" gives an empty
// argument; an unterminated quote runs to the end of the line. Slot 0 holds
// the placeholder "Invalid", since such a line carries no program name.
#pragma once

#include <string>
#include <vector>

namespace treepak {

inline constexpr const char* ARGV0_PLACEHOLDER = "Invalid";

// Writes into commandLine (quotes become spaces, token ends terminators);
// *outCount becomes argv->size().
void SplitCommandLine(char* commandLine, int* outCount, std::vector<std::string>* argv);

}  // namespace treepak
