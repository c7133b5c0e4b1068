// File lists (-L): one entry per line, SOURCE or SOURCE<TAB>NAME; blank
// lines and lines starting with '#' are skipped.
#pragma once

#include <string>
#include <vector>

namespace treepak {

struct ListEntry {
    std::string source;
    std::string name;    // empty: derived from the source as for an argument
    std::string origin;  // "LIST:LINE", for messages
};

// Appends the entries of the list at `path` ("-": standard input); false
// with a message when it cannot be read or a line is malformed.
bool ReadFileList(const std::string& path, std::vector<ListEntry>* entries, std::string* error);

}  // namespace treepak
