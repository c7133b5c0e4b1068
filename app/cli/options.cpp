#include "app/cli/options.h"

#include <string_view>

#include "app/common/path_helpers.h"

namespace treepak {

ToolOptions Options;
ToolPaths Paths;

int ParseOptions(int argc, const char* const* argv, ToolOptions* options) {
    int index = 1;
    for (; index < argc && argv[index][0] == OPTION_PREFIX; ++index) {
        std::string_view text = argv[index] + 1;
        // One-letter options go by their first character, upper case only;
        // word options ignore case and must match whole. The order of the
        // tests matters: "R-" before "R".
        char first = text.empty() ? '\0' : text[0];
        if (first == 'X') {
            options->singleFolder = true;
        } else if (first == 'V') {
            options->verbose = true;
        } else if (EqualsIgnoreCase(text, "R-")) {
            options->recurse = false;
        } else if (first == 'R') {
            options->recurse = true;
        } else if (first == 'D') {
            options->deleteSource = true;
        } else if (first == 'F') {
            options->flatten = true;
        } else if (EqualsIgnoreCase(text, "NOLOGO")) {
            options->showLogo = false;
        } else if (EqualsIgnoreCase(text, "COMPRESS")) {
            options->compressType = COMPRESS_DEFLATE;
            options->kvfCompressType = COMPRESS_DEFLATE;
        } else if (EqualsIgnoreCase(text, "NOCOMPRESS")) {
            options->compressType = COMPRESS_NONE;
            options->kvfCompressType = COMPRESS_NONE;
            options->autoCompress = false;
        } else if (EqualsIgnoreCase(text, "NOCOMPRESSKVF")) {
            options->compressType = COMPRESS_DEFLATE;
            options->kvfCompressType = COMPRESS_NONE;
            options->autoCompress = false;
        } else if (EqualsIgnoreCase(text, "AUTOCOMPRESS")) {
            options->compressType = COMPRESS_DEFLATE;
            options->kvfCompressType = COMPRESS_DEFLATE;
            options->autoCompress = true;
        } else if (EqualsIgnoreCase(text, "BATCH")) {
            options->showProgressWindow = false;
        } else {
            return argc;
        }
    }
    return index;
}

}  // namespace treepak
