#include "platform/interrupts.h"

#include <csignal>

namespace treepak {

namespace platform {

namespace {

// Writing a sig_atomic_t is all an asynchronous handler may safely do.
volatile std::sig_atomic_t interruptFlag = 0;

// Internal linkage: the handler is no symbol of the library.
extern "C" {
static void OnInterrupt(int) { interruptFlag = 1; }
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // System calls restart: the callbacks, not EINTR, carry the request.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interruptFlag != 0; }

void SetInterruptRequested(bool requested) { interruptFlag = requested ? 1 : 0; }

void IgnoreFileSizeLimitSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform

}  // namespace treepak
