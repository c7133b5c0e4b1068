// Runs the treepak binary as a child process the test controls: its own
// working and temporary directories, standard output into a file, and the
// limits a test wants set in the child before exec (file-size limit,
// permission checks enforced even for the superuser).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include "test_support.h"

namespace treepak {

struct ToolProcessOptions {
    long fileSizeLimit = -1;         // RLIMIT_FSIZE in bytes; -1 leaves it
    bool enforcePermissions = false;  // drop the capabilities that bypass them
};

// Exit status of a child that could not set its limits up.
inline constexpr int CHILD_SETUP_FAILED = 77;

struct ToolProcess {
    pid_t pid = -1;
    std::filesystem::path outputPath;

    int Wait();
    std::string Output() const;
};

struct HardeningWorkspace {
    testsupport::ScratchDir root;
    std::filesystem::path dir() const { return root.path() / "work"; }
    std::filesystem::path tmp() const { return root.path() / "tmp"; }
    HardeningWorkspace();
    bool TmpIsEmpty() const { return std::filesystem::is_empty(tmp()); }

    ToolProcess Start(const std::vector<std::string>& args, const ToolProcessOptions& options = {}) const;
    int Run(const std::vector<std::string>& args, std::string* out, const ToolProcessOptions& options = {}) const;
};

// A file of `size` bytes that occupies almost no disk: a hole with the
// given bytes written at the given offsets.
void MakeSparseFile(const std::filesystem::path& path, int64_t size,
                    const std::vector<std::pair<int64_t, std::string>>& marks = {});
std::map<std::string, std::vector<uint8_t>> TreeContents(const std::filesystem::path& root);
bool SameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace treepak
