#include "app/cli/console.h"

#include <cstdarg>
#include <cstdio>

#include "app/cli/options.h"
#include "app/common/status_line.h"
#include "treepak/version.h"

namespace treepak {

const char* const BANNER_TEXT =
    "TREEPAK - Cabinet File Creator, TREEPAK version " TREEPAK_VERSION_SHORT "\n"
    "Copyright (C) The TREEPAK authors. All rights reserved.\n"
    "\n";

const char* const USAGE_TEXT =
    "Usage: TREEPAK [-R -F -D -V -X] source_dir [dest_cab]\n"
    "\n"
    "    Creates a CAB file from a directory.\n"
    "\n"
    "    dest_cab is the name of a cabinet file\n"
    "    source_dir is a directory name containing the source files.\n"
    "\n"
    "    if dest_cab is not specified the cab will be placed next to the source\n"
    "\n"
    "Options:\n"
    "   -R recurse into sub directories. (default)\n"
    "\n"
    "   -R- dont recurse into sub directories.\n"
    "\n"
    "   -F flatten directory structure (dont store pathnames).\n"
    "\n"
    "   -COMPRESS compress all files. (default)\n"
    "\n"
    "   -NOCOMPRESS dont compress files.\n"
    "\n"
    "   -NOCOMPRESSKVF compress all files, except kvf files.\n"
    "\n"
    "   -AUTOCOMPRESS compress files that get more than 10%.\n"
    "\n"
    "   -BATCH run with no ui.\n"
    "\n"
    "   -D delete files after cab is created.\n"
    "      use this option to replace a directory with a CAB.\n"
    "\n"
    "   -V verbose.\n"
    "\n"
    "   -X will do maximal compression at the expense of random-access.\n"
    "      this option is not recomended for normal use\n"
    "\n";

void PrintLine(const char* format, ...) {
    ClearStatusLine();
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void PrintVerbose(const char* format, ...) {
    if (!Options.verbose) return;
    ClearStatusLine();
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void PrintBanner() { PrintLine("%s", BANNER_TEXT); }

void PrintUsage() { PrintLine("%s", USAGE_TEXT); }

}  // namespace treepak
