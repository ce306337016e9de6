// Test program run under Wine: loads Halvex32.dll (with the simulated WinIo)
// and drives the watchdog through its exports; the host-side driver checks
// the register sequence in the board's access log and the chip state.
//
//   wdt_probe cycle      InitWDT, SetWDT(30 s), StartWDT, ResetWDT, StopWDT
//   wdt_probe armed-exit InitWDT, SetWDT(30 s), StartWDT, then the process
//                        ends with the library loaded: the unload disarms
//
// Prints one line per call ("StartWDT=1") and exits 0 when every call
// returned 1.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "halvex32.h"

namespace {

constexpr wchar_t kLibrary[] = L"Halvex32.dll";
constexpr uint16_t kSeconds30 = 30;
constexpr uint8_t kUnitSeconds = 1;

int g_failures = 0;

template <typename Fn>
Fn* Export(HMODULE h, const char* name) {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(h, name)));
}

void Report(const char* name, HX_BOOL result) {
    std::printf("%s=%d\n", name, static_cast<int>(result));
    if (result != 1) ++g_failures;
}

template <typename Fn, typename... Args>
void Call(HMODULE h, const char* name, Args... args) {
    Fn* fn = Export<Fn>(h, name);
    if (!fn) {
        std::printf("%s: no such export\n", name);
        ++g_failures;
        return;
    }
    Report(name, fn(args...));
}

void Arm(HMODULE h) {
    Call<decltype(InitWDT)>(h, "InitWDT");
    Call<decltype(SetWDT)>(h, "SetWDT", kSeconds30, kUnitSeconds);
    Call<decltype(StartWDT)>(h, "StartWDT");
}

}  // namespace

int main(int argc, char** argv) {
    const char* cmd = argc > 1 ? argv[1] : "";
    const bool cycle = !std::strcmp(cmd, "cycle");
    if (!cycle && std::strcmp(cmd, "armed-exit") != 0) {
        std::printf("usage: wdt_probe cycle|armed-exit\n");
        return 64;
    }
    HMODULE h = LoadLibraryW(kLibrary);
    if (!h) {
        std::printf("LoadLibrary(Halvex32.dll) failed, error %lu\n", GetLastError());
        return 1;
    }
    Arm(h);
    if (cycle) {
        Call<decltype(ResetWDT)>(h, "ResetWDT");
        Call<decltype(StopWDT)>(h, "StopWDT");
    }
    std::fflush(stdout);
    return g_failures == 0 ? 0 : 1;  // the library stays loaded until exit
}
