// cabread: lists, tests and extracts the files of a cabinet set through the
// reader engine, with the same reader client as treepak's expand mode.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/expand/list_set.h"
#include "exit_status.h"
#include "listing.h"
#include "options.h"
#include "platform/interrupts.h"
#include "platform/output_files.h"
#include "report.h"
#include "take.h"
#include "treepak/version.h"

namespace treepak {

namespace {

constexpr const char* kStandardInput = "-";
constexpr const char* kStandardInputShown = "(standard input)";
constexpr const char* kVersionText = TREEPAK_VERSION_LINE("cabread");

int RunList(const CabreadOptions& options, const std::string& path, const std::string& shown) {
    CabinetListing listing;
    if (!ListCabinetSet(path, shown, &listing, ReportToStandardError, nullptr)) return CABREAD_EXIT_NOTHING_READ;
    Selection selection = MakeSelection(options.patterns);
    if (options.json) PrintJsonListing(listing, &selection);
    else PrintListing(listing, &selection, options.verbose);
    const size_t unmatched = ReportUnmatched(selection);
    return listing.complete && unmatched == 0 ? CABREAD_EXIT_DONE : CABREAD_EXIT_PARTLY;
}

}  // namespace

}  // namespace treepak

int main(int argc, char** argv) {
    using namespace treepak;
    CabreadOptions options;
    std::string error;
    if (!ParseCabreadOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "cabread: %s\nTry 'cabread --help' for more information.\n", error.c_str());
        return CABREAD_EXIT_NOTHING_READ;
    }
    if (options.help) {
        std::fputs(CabreadUsage(), stdout);
        return CABREAD_EXIT_DONE;
    }
    if (options.version) {
        std::fputs(kVersionText, stdout);
        return CABREAD_EXIT_DONE;
    }
    platform::InstallInterruptHandlers();
    // A file-size limit is then an ordinary write failure: the file is named
    // and removed instead of the process dying with it half-written.
    platform::IgnoreFileSizeLimitSignal();
    std::string path = options.cabinet;
    std::string shown;
    // The reader seeks, so standard input is read into a nameless file first
    // and opened again through its descriptor.
    if (options.cabinet == kStandardInput) {
        int32_t spoolError = 0;
        const int32_t spooled = platform::SpoolStandardInput(&spoolError);
        if (spooled < 0) {
            ReportReadProblem(std::string("standard input: ") + std::strerror(spoolError));
            return CABREAD_EXIT_NOTHING_READ;
        }
        path = "/dev/fd/" + std::to_string(spooled);
        shown = kStandardInputShown;
    }
    const int status = options.mode == CabreadMode::List ? RunList(options, path, shown)
                                                         : RunTake(options, path, shown);
    return std::fflush(stdout) == 0 ? status : CABREAD_EXIT_PARTLY;
}
