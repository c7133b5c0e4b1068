#include "app/cli/run_tool.h"

#include <cstdio>
#include <cstdlib>

#include "app/build/build_cabinet.h"
#include "app/build/build_names.h"
#include "app/build/file_selection.h"
#include "app/build/verify_cabinet.h"
#include "app/cli/console.h"
#include "app/cli/options.h"
#include "app/cli/progress_display.h"
#include "app/common/diagnostics.h"
#include "app/common/path_helpers.h"
#include "app/common/status_line.h"
#include "app/expand/expand_cabinet.h"
#include "platform/directories.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"

namespace treepak {

namespace {

constexpr const char* kDefaultPattern = "*.*";
constexpr const char* kCabinetSuffix = ".CAB";
constexpr std::string_view kCabExtension = ".cab";

int Interrupted() {
    PrintLine("TREEPAK interrupted\n");
    ReportFailure("interrupted by a signal");
    return EXIT_STATUS_FAILURE;
}

int ExpandMode(const std::string& destinationArgument, bool hasDestination) {
    Paths.destination = hasDestination ? destinationArgument
                                       : Paths.source.substr(0, Paths.source.size() - kCabExtension.size());
    ReaderOutcome outcome;
    const bool expanded =
        ExpandCabinet(Paths.source.c_str(), Paths.destination.c_str(), ExpandProgress, nullptr, &outcome);
    // Interrupted, the cabinets stay even under -D.
    if (platform::InterruptRequested()) return Interrupted();
    if (!outcome.opened || outcome.stopped) {
        PrintVerbose("TREEPAK failed\n");
        return EXIT_STATUS_FAILURE;
    }
    PrintVerbose("TREEPAK Done!\n");
    if (!expanded) return EXIT_STATUS_INCOMPLETE;
    // Every cabinet of the set that was read goes, once all of it is out.
    if (Options.deleteSource) {
        for (const std::string& cabinet : outcome.cabinets) {
            int32_t error = 0;
            platform::DeleteFile(cabinet.c_str(), &error);
        }
    }
    return EXIT_STATUS_SUCCESS;
}

// Deletes every listed file and tries to remove its directory at once: the
// walk listed subdirectories' files before their parent's, so a directory
// empties out before its parent's last file is reached. An interrupt stops
// the deletion; the cabinet holds every file, deleted or not.
void DeleteListedFiles(const FileList& list) {
    FileList::Reader files(list);
    for (FileList::Entry file{}; files.Next(&file);) {
        if (platform::InterruptRequested()) return;
        int32_t error = 0;
        platform::DeleteFile(file.path, &error);
        std::string path = file.path;
        CutToDirectory(&path);
        platform::RemoveDirectory(path.c_str());
    }
}

// Before a single source goes, the cabinets must be on disk for good and
// must give back every listed file byte for byte.
bool CabinetsHoldTheSources(const FileList& list) {
    const std::vector<std::string>& cabinets = CabinetsOfLastBuild();
    std::string reason;
    bool ok = !cabinets.empty() && FlushCabinets(cabinets, &reason);
    if (ok) {
        if (BeforeVerifyHook hook = GetBeforeVerifyHook()) hook(cabinets);
        ok = VerifyCabinetSet(cabinets.front(), list, Paths.source, Options.flatten, &reason);
    } else if (cabinets.empty()) {
        reason = "no cabinet file was written";
    }
    if (!ok) {
        PrintLine("Cabinet check failed, nothing deleted: %s\n", reason.c_str());
        ReportFailure("%s: the check before deleting the sources failed: %s", Paths.cabinetPath.c_str(),
                      reason.c_str());
    }
    return ok;
}

// The cabinet beside the source directory: "dir", "dir/" and "dir//" all
// name "dir.CAB", never a file inside the tree.
std::string DefaultCabinetPath(const std::string& source) {
    size_t end = source.size();
    while (end > 1 && IsPathSeparator(source[end - 1])) --end;
    return source.substr(0, end) + kCabinetSuffix;
}

int BuildMode(const std::string& sourceArgument, const std::string& destinationArgument, bool hasDestination) {
    SelectedFiles.Clear();
    Paths.cabinetPath = hasDestination ? destinationArgument : DefaultCabinetPath(Paths.source);
    if (Options.showLogo) {
        PrintBanner();
        PrintLine("Creating %s from %s\\%s\n", Paths.cabinetPath.c_str(), Paths.source.c_str(),
                  Paths.pattern.c_str());
    }
    PrintVerbose("Walking...\n");
    WalkDirectory(Paths.source, Paths.pattern, CollectFile, &SelectedFiles, Options.recurse);
    if (platform::InterruptRequested()) return Interrupted();
    if (SelectedFiles.found == 0 && HasWildcard(sourceArgument))
        ReportProblem("%s: no file matches the pattern (the cabinet is empty)", sourceArgument.c_str());
    PrintVerbose("CABing...\n");
    if (!BuildCabinet(&SelectedFiles, Options.autoCompress)) {
        if (platform::InterruptRequested()) return Interrupted();
        PrintVerbose("TREEPAK failed\n");
        return EXIT_STATUS_FAILURE;
    }
    const bool checked = !Options.deleteSource || CabinetsHoldTheSources(SelectedFiles);
    // Until deletion starts, an interrupted run leaves the tree as it was.
    if (platform::InterruptRequested()) {
        DeleteFiles(CabinetsOfLastBuild());
        return Interrupted();
    }
    if (!checked) {
        PrintVerbose("TREEPAK failed\n");
        return EXIT_STATUS_FAILURE;
    }
    if (Options.deleteSource) {
        PrintVerbose("DELETING...\n");
        DeleteListedFiles(SelectedFiles);
        if (platform::InterruptRequested()) return Interrupted();
    }
    PrintVerbose("TREEPAK Done!\n");
    return EXIT_STATUS_SUCCESS;
}

// A finished run that left something out ends with 1.
int WithProblems(int status) {
    return status == EXIT_STATUS_SUCCESS && ProblemCount() > 0 ? EXIT_STATUS_INCOMPLETE : status;
}

}  // namespace

int RunToolStatus(int argc, const char* const* argv) {
    ResetDiagnostics();
    int first = ParseOptions(argc, argv, &Options);
    if (first >= argc) {
        PrintBanner();
        PrintUsage();
        return EXIT_STATUS_SUCCESS;
    }
    Paths.source = argv[first];
    if (HasWildcard(Paths.source)) {
        Paths.pattern = std::string(FileNamePart(Paths.source));
        CutToDirectory(&Paths.source);
    } else {
        Paths.pattern = kDefaultPattern;
    }
    bool hasDestination = first + 1 < argc;
    std::string destination = hasDestination ? argv[first + 1] : "";

    if (Options.showProgressWindow) CreateProgressDisplay();

    if (IsDirectory(Paths.source)) return WithProblems(BuildMode(argv[first], destination, hasDestination));
    if (EndsWithIgnoreCase(Paths.source, kCabExtension))
        return WithProblems(ExpandMode(destination, hasDestination));
    PrintLine("Must specify a wild card, directory or cab file with destination\n");
    ReportFailure("%s: neither a directory nor a cabinet file (.cab)", argv[first]);
    return EXIT_STATUS_FAILURE;
}

void RunTool(int argc, const char* const* argv) {
    platform::InstallInterruptHandlers();
    platform::IgnoreFileSizeLimitSignal();
    const int status = RunToolStatus(argc, argv);
    ClearStatusLine();
    std::exit(status);
}

}  // namespace treepak
