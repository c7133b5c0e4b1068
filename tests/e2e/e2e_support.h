// Runs the built treepak (or another built tool) in a scratch directory,
// with a private TMP and the C locale, capturing standard output, standard
// error and the exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace treepak {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline const char* ToolBinary() { return TREEPAK_BINARY_DIR "/app/treepak"; }

struct Workspace {
    testsupport::ScratchDir root;
    std::filesystem::path dir() const { return root.path() / "work"; }
    std::filesystem::path tmp() const { return root.path() / "tmp"; }
    Workspace() {
        std::filesystem::create_directories(dir());
        std::filesystem::create_directories(tmp());
    }
    bool TmpIsEmpty() const { return std::filesystem::is_empty(tmp()); }

    ToolRun Run(const std::vector<std::string>& args, const std::string& prefix = "") const {
        return RunProgram(ToolBinary(), args, prefix);
    }
    // Any program of the build, with `prefix` (environment settings) before
    // it and standard input from `input`.
    ToolRun RunProgram(const std::string& binary, const std::vector<std::string>& args, const std::string& prefix = "",
                       const std::string& input = "/dev/null") const {
        std::string errPath = (root.path() / "stderr.txt").string();
        std::string command = "cd " + ShellQuote(dir().string()) + " && " + prefix + " LC_ALL=C TMP=" +
                              ShellQuote(tmp().string()) + " " + ShellQuote(binary);
        for (const auto& a : args) command += " " + ShellQuote(a);
        command += " 2>" + ShellQuote(errPath) + " <" + ShellQuote(input);
        ToolRun run;
        run.status = testsupport::RunCommand(command, &run.out);
        auto err = testsupport::ReadFileBytes(errPath);
        run.err.assign(err.begin(), err.end());
        return run;
    }
};

inline std::string Banner() {
    return "TREEPAK - Cabinet File Creator, TREEPAK version 1.0\n"
           "Copyright (C) The TREEPAK authors. All rights reserved.\n"
           "\n";
}

}  // namespace treepak
