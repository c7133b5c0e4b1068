#include "tool_run.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

extern char** environ;

namespace treepak {

namespace fs = std::filesystem;

namespace {

// Capabilities that let the superuser ignore file permissions; dropped
// from the bounding set they stay dropped across exec.
constexpr int kPermissionBypasses[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

// Everything the child needs, made before fork: a test may have threads
// running, so the child calls nothing that allocates or takes a lock.
struct ChildPlan {
    std::string directory, input, output, errors;
    std::vector<std::string> argStrings, envStrings;
    std::vector<char*> argv, envp;
    uid_t uid = 0;
    gid_t gid = 0;
};

[[noreturn]] void ChildSetupFailed() { _exit(CHILD_SETUP_FAILED); }

bool Redirect(const std::string& path, int flags, int target) {
    const int fd = open(path.c_str(), flags, 0600);
    return fd >= 0 && dup2(fd, target) >= 0 && close(fd) == 0;
}

[[noreturn]] void ExecChild(const ChildPlan& plan, const ChildSetup& setup) {
    if (chdir(plan.directory.c_str()) != 0) ChildSetupFailed();
    if (!Redirect(plan.input, O_RDONLY, STDIN_FILENO) ||
        !Redirect(plan.output, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO) ||
        !Redirect(plan.errors, O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO))
        ChildSetupFailed();
    // The test runner may have signals ignored or blocked; the tool starts
    // clean, and must itself turn the signal of a write past a file-size
    // limit into an ordinary failure.
    for (int sig : {SIGINT, SIGTERM, SIGXFSZ}) signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (setup.umask >= 0) umask(static_cast<mode_t>(setup.umask));
    if (setup.fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(setup.fileSizeLimit), static_cast<rlim_t>(setup.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) ChildSetupFailed();
    }
    if (setup.enforcePermissions && geteuid() == 0) {
        for (int capability : kPermissionBypasses)
            if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) ChildSetupFailed();
    }
    if (setup.asNobody && (setgroups(0, nullptr) != 0 || setgid(plan.gid) != 0 || setuid(plan.uid) != 0))
        ChildSetupFailed();
    execve(plan.argv[0], plan.argv.data(), plan.envp.data());
    ChildSetupFailed();
}

std::string NameOf(const std::string& setting) { return setting.substr(0, setting.find('=')); }

// The settings, then the test's own environment less the names they set.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& settings) {
    std::vector<std::string> environment = settings;
    for (char** e = environ; *e != nullptr; ++e) {
        const bool overridden = std::any_of(settings.begin(), settings.end(),
                                            [&](const std::string& s) { return NameOf(s) == NameOf(*e); });
        if (!overridden) environment.emplace_back(*e);
    }
    return environment;
}

std::string FileText(const fs::path& path) {
    if (!fs::exists(path)) return "";
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string TreepakBinary() { return TREEPAK_BINARY_DIR "/app/treepak"; }
std::string CabwriteBinary() { return TREEPAK_BINARY_DIR "/tools/cabwrite"; }
std::string CabreadBinary() { return TREEPAK_BINARY_DIR "/tools/cabread"; }

Workspace::Workspace() {
    fs::create_directories(dir());
    fs::create_directories(tmp());
}

ToolProcess Workspace::Start(const std::vector<std::string>& args, const ChildSetup& setup) const {
    ToolProcess process{-1, root.path() / "stdout.txt", root.path() / "stderr.txt"};
    ChildPlan plan;
    plan.directory = (dir() / setup.directory).string();
    plan.input = setup.input.string();
    plan.output = process.outPath.string();
    plan.errors = process.errPath.string();
    plan.argStrings.push_back(setup.program);
    plan.argStrings.insert(plan.argStrings.end(), args.begin(), args.end());
    std::vector<std::string> settings = setup.environment;
    settings.push_back("TMP=" + tmp().string());
    settings.push_back("LC_ALL=C");
    plan.envStrings = ChildEnvironment(settings);
    for (std::string& a : plan.argStrings) plan.argv.push_back(a.data());
    for (std::string& e : plan.envStrings) plan.envp.push_back(e.data());
    plan.argv.push_back(nullptr);
    plan.envp.push_back(nullptr);
    if (setup.asNobody) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr) return process;
        plan.uid = nobody->pw_uid;
        plan.gid = nobody->pw_gid;
    }
    std::fflush(nullptr);
    process.pid = fork();
    if (process.pid == 0) ExecChild(plan, setup);
    return process;
}

ToolRun Workspace::Run(const std::vector<std::string>& args, const ChildSetup& setup) const {
    ToolProcess process = Start(args, setup);
    const int status = process.Wait();
    return ToolRun{status, process.Output(), process.Errors()};
}

void Workspace::ExpectSuccess(const std::vector<std::string>& args, const ChildSetup& setup) const {
    const ToolRun run = Run(args, setup);
    EXPECT_EQ(run.status, 0) << setup.program << " " << testing::PrintToString(args) << "\n" << run.out << run.err;
}

int ToolProcess::Wait() {
    if (pid < 0) return -1;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    pid = -1;
    if (done < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string ToolProcess::Output() const { return FileText(outPath); }
std::string ToolProcess::Errors() const { return FileText(errPath); }

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace treepak
