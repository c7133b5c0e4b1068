#include "file_list.h"

#include <cstring>

#include "platform/file_io.h"

namespace treepak {

namespace {

constexpr int32_t kStandardInput = 0;
constexpr uint32_t kReadChunk = 65536;
constexpr char kCommentMark = '#';
constexpr char kNameSeparator = '\t';

bool ReadAll(const std::string& path, std::string* text, std::string* error) {
    int32_t code = 0;
    const bool fromStdin = path == "-";
    const int32_t handle =
        fromStdin ? kStandardInput
                  : platform::OpenFile(path.c_str(), platform::OPEN_READ_ONLY | platform::OPEN_BINARY, 0, &code);
    if (handle < 0) {
        *error = "cannot read file list " + path + ": " + std::strerror(code);
        return false;
    }
    std::string chunk(kReadChunk, '\0');
    int32_t n = 0;
    while ((n = platform::ReadFile(handle, chunk.data(), kReadChunk, &code)) > 0) text->append(chunk.data(), n);
    if (!fromStdin) platform::CloseFile(handle, &code);
    if (n < 0) {
        *error = "cannot read file list " + path + ": " + std::strerror(code);
        return false;
    }
    return true;
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

bool ReadFileList(const std::string& path, std::vector<ListEntry>* entries, std::string* error) {
    std::string text;
    if (!ReadAll(path, &text, error)) return false;
    const std::string listName = path == "-" ? "standard input" : path;
    size_t start = 0;
    for (int lineNumber = 1; start < text.size(); ++lineNumber) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        // Lists written on other systems end their lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlank(line) || line[0] == kCommentMark) continue;
        ListEntry entry;
        entry.origin = listName + ":" + std::to_string(lineNumber);
        const size_t tab = line.find(kNameSeparator);
        entry.source = line.substr(0, tab);
        if (tab != std::string::npos) {
            entry.name = line.substr(tab + 1);
            if (entry.name.empty()) {
                *error = entry.origin + ": empty name after the tab";
                return false;
            }
        }
        if (entry.source.empty()) {
            *error = entry.origin + ": no source file before the tab";
            return false;
        }
        entries->push_back(entry);
    }
    return true;
}

}  // namespace treepak
