// Runs a command with its output discarded and prints "<seconds> <KiB>
// <cpu seconds>": its wall time, the peak resident set the kernel reports
// for it, and the CPU time (user + system) it used. The script
// that drives the comparison starts commands through this small program
// because a child's peak resident set starts at the size of the process it
// was forked from; here that floor is about a megabyte, not an interpreter.
// Exits with the command's status (127 when it cannot be started).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace treepak {

namespace {
constexpr int kCannotStart = 127;
}

}  // namespace treepak

int main(int argc, char** argv) {
    using namespace treepak;
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure_command program [arguments...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == -1) return kCannotStart;
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null != -1) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp(argv[1], argv + 1);
        _exit(kCannotStart);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == -1) return kCannotStart;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    constexpr double kMicrosecond = 1e-6;
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * kMicrosecond;
    std::printf("%.6f %ld %.6f\n", seconds, usage.ru_maxrss, cpu);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return kCannotStart;
}
