// Runs the programs of the build (the tool, cabwrite, cabread) as child
// processes in a scratch workspace: their own working and temporary
// directories, the C locale, standard input from a file, standard output
// and standard error captured in files, and whatever a test wants set in
// the child before exec (environment, umask, file-size limit, another user,
// permission checks enforced even for the superuser).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace treepak {

std::string TreepakBinary();
std::string CabwriteBinary();
std::string CabreadBinary();

struct ChildSetup {
    std::string program = TreepakBinary();
    std::vector<std::string> environment{};  // NAME=value, on top of the test's own
    std::filesystem::path directory{};       // working directory, relative to the workspace's
    std::filesystem::path input = "/dev/null";
    int64_t fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes; -1 leaves it
    int umask = -1;                   // -1 leaves it
    bool asNobody = false;            // run as the unprivileged user "nobody"
    bool enforcePermissions = false;  // drop the capabilities that bypass them
};

// Exit status of a child that could not set itself up.
inline constexpr int CHILD_SETUP_FAILED = 77;

struct ToolRun {
    int status;  // -1 when the child did not exit normally
    std::string out, err;
};

struct ToolProcess {
    pid_t pid = -1;
    std::filesystem::path outPath, errPath;

    int Wait();
    std::string Output() const;
    std::string Errors() const;
};

struct Workspace {
    testsupport::ScratchDir root;
    std::filesystem::path dir() const { return root.path() / "work"; }
    std::filesystem::path tmp() const { return root.path() / "tmp"; }
    Workspace();
    bool TmpIsEmpty() const { return std::filesystem::is_empty(tmp()); }

    ToolProcess Start(const std::vector<std::string>& args, const ChildSetup& setup = {}) const;
    ToolRun Run(const std::vector<std::string>& args, const ChildSetup& setup = {}) const;
    // Runs a step the test builds on: a failure is reported with the output.
    void ExpectSuccess(const std::vector<std::string>& args, const ChildSetup& setup = {}) const;
};

std::string ShellQuote(const std::string& s);

// The lines the tool prints first unless -NOLOGO or -BATCH silences them.
inline std::string Banner() {
    return "TREEPAK - Cabinet File Creator, TREEPAK version 1.0\n"
           "Copyright (C) The TREEPAK authors. All rights reserved.\n"
           "\n";
}

}  // namespace treepak
