// A client of the installed library, built only from the installed headers:
// it computes a data-block checksum and drives the reader engine's creation
// through its callbacks, proving that headers and library stand alone.
#include <cabinet/checksum.h>
#include <cabinet/format.h>
#include <fci/fci.h>
#include <fei/fei.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    const unsigned char abc[] = {'a', 'b', 'c'};
    if (CabChecksum(abc, 3, 0) != 0x00616263u) {
        std::puts("checksum mismatch");
        return 1;
    }
    // An allocator that always fails makes both engines report no memory.
    ErrorRecord error{};
    FEIContext* reader = FEICreate([](uint32_t) -> void* { return nullptr; }, [](void*) {}, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, 1, &error);
    if (reader != nullptr || error.errorFlag != 1) {
        std::puts("reader engine did not report the failed allocation");
        return 1;
    }
    std::printf("installed library links (reader error %d)\n", error.errorCode);
    return 0;
}
