#include "app/cli/split_command_line.h"

#include <cstring>

namespace treepak {

void SplitCommandLine(char* commandLine, int* outCount, std::vector<std::string>* argv) {
    argv->assign(1, ARGV0_PLACEHOLDER);
    size_t length = std::strlen(commandLine);
    size_t tokenStart = 0;
    bool inToken = false;
    bool inQuote = false;
    for (size_t i = 0; i < length; ++i) {
        if (commandLine[i] == '"') {
            commandLine[i] = ' ';
            if (!inQuote && !inToken) ++tokenStart;  // past the opening quote
            inQuote = !inQuote;
        }
        if (commandLine[i] == ' ') {
            if (!inQuote && inToken) {
                argv->emplace_back(commandLine + tokenStart, i - tokenStart);
                commandLine[i] = '\0';
                inToken = false;
                tokenStart = i + 1;
            } else if (!inToken && !inQuote) {
                ++tokenStart;  // a leading blank
            } else {
                inToken = true;  // a quoted space, or the opening quote itself
            }
        } else {
            inToken = true;
        }
    }
    if (inToken && tokenStart < length) argv->emplace_back(commandLine + tokenStart, length - tokenStart);
    *outCount = static_cast<int>(argv->size());
}

}  // namespace treepak
