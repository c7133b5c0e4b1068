#include "tool_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace treepak {

namespace fs = std::filesystem;

namespace {

const char* ToolBinary() { return TREEPAK_BINARY_DIR "/app/treepak"; }

// Capabilities that let the superuser ignore file permissions; dropped
// from the bounding set they stay dropped across exec.
constexpr int kPermissionBypasses[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

[[noreturn]] void ChildSetupFailed() { _exit(CHILD_SETUP_FAILED); }

[[noreturn]] void ExecTool(const fs::path& dir, const fs::path& tmp, const fs::path& output,
                           const std::vector<std::string>& args, const ToolProcessOptions& options) {
    if (chdir(dir.c_str()) != 0) ChildSetupFailed();
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(in, STDIN_FILENO) < 0) ChildSetupFailed();
    setenv("TMP", tmp.c_str(), 1);
    setenv("LC_ALL", "C", 1);
    // The test runner may have signals ignored or blocked; the tool starts clean.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options.fileSizeLimit >= 0) {
        // The tool itself must turn the signal of a write past the limit
        // into an ordinary failure.
        signal(SIGXFSZ, SIG_DFL);
        rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) ChildSetupFailed();
    }
    if (options.enforcePermissions && geteuid() == 0) {
        for (int capability : kPermissionBypasses) {
            if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) ChildSetupFailed();
        }
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ToolBinary()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ToolBinary(), argv.data());
    ChildSetupFailed();
}

}  // namespace

HardeningWorkspace::HardeningWorkspace() {
    fs::create_directories(dir());
    fs::create_directories(tmp());
}

ToolProcess HardeningWorkspace::Start(const std::vector<std::string>& args, const ToolProcessOptions& options) const {
    ToolProcess process;
    process.outputPath = root.path() / "stdout.txt";
    std::fflush(nullptr);
    process.pid = fork();
    if (process.pid == 0) ExecTool(dir(), tmp(), process.outputPath, args, options);
    return process;
}

int HardeningWorkspace::Run(const std::vector<std::string>& args, std::string* out,
                            const ToolProcessOptions& options) const {
    ToolProcess process = Start(args, options);
    int status = process.Wait();
    if (out != nullptr) *out = process.Output();
    return status;
}

int ToolProcess::Wait() {
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    pid = -1;
    if (done < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ToolProcess::Output() const {
    std::vector<uint8_t> bytes = testsupport::ReadFileBytes(outputPath);
    return std::string(bytes.begin(), bytes.end());
}

void MakeSparseFile(const fs::path& path, int64_t size, const std::vector<std::pair<int64_t, std::string>>& marks) {
    fs::create_directories(path.parent_path());
    { std::ofstream create(path, std::ios::binary); }
    fs::resize_file(path, static_cast<uintmax_t>(size));
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [offset, text] : marks) {
        file.seekp(offset);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
}

std::map<std::string, std::vector<uint8_t>> TreeContents(const fs::path& root) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = testsupport::ReadFileBytes(entry);
    }
    return files;
}

bool SameFileBytes(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    constexpr size_t kPiece = 1 << 20;
    std::vector<char> ba(kPiece), bb(kPiece);
    while (fa && fb) {
        fa.read(ba.data(), kPiece);
        fb.read(bb.data(), kPiece);
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0)
            return false;
    }
    return true;
}

}  // namespace treepak
