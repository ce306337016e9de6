// The MCU link's Windows side under Wine: the registry port search on the
// registry that the host driver imported, and the overlapped serial transport
// on a COM port that Wine maps to the host's pseudo-terminal.
//
//   hx_e2e_mcu.exe find KIND OSMAJOR    prints "found PATH" or "not found"
//   hx_e2e_mcu.exe query KIND           opens the link, prints "version HEX"
//   hx_e2e_mcu.exe bench KIND N         N queries alternating with N plain
//                                       overlapped 7-byte exchanges; prints
//                                       both mean times and their ratio
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/backend.h"
#include "core/hw_access.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "backends/win32/registry_ports.h"
#include "backends/win32/winio_backend.h"

namespace {

using namespace hx;

constexpr u8 kVersionQuery = 0xFF;

constexpr Backend kProbeBackend{"wine-probe", {}, {nullptr, nullptr, os::win32::FindMcuPortInRegistry}};

u32 Number(const char* text) { return static_cast<u32>(std::strtoul(text, nullptr, 0)); }

int Find(u32 kind, u32 osMajor) {
    // The PCI kinds read the function's revision through the (simulated) WinIo.
    UseBackend(os::win32::WinIoBackend());
    const bool hardware = HwOpen();
    RegChar path[kDevicePathChars] = {};
    if (!RegistryFindMcuPort(os::win32::WindowsRegistry(), osMajor, kind, path)) {
        std::printf("not found\n");
        if (hardware) HwClose();
        return 0;
    }
    char text[kDevicePathChars * 2] = {};
    for (u32 i = 0; path[i] && i < kDevicePathChars; ++i) text[i] = static_cast<char>(path[i]);
    std::printf("found %s\n", text);
    if (hardware) HwClose();
    return 0;
}

bool Open(u32 kind) {
    UseBackend(&kProbeBackend);
    SetLinkDefaults();
    serialPortMcu.portKind.store(kind);
    if (!OpenMcuLink(serialPortMcu)) {
        std::printf("open failed\n");
        return false;
    }
    return true;
}

int Query(u32 kind) {
    if (!Open(kind)) return 1;
    u32 version = 0;
    if (!McuQuery(kVersionQuery, &version)) {
        std::printf("no answer\n");
        return 1;
    }
    std::printf("version %08X\n", version);
    CloseMcuLinks();
    return 0;
}

// The plainest overlapped exchange: write 7 bytes, read 7 bytes, each waited
// for on its own event.
bool PlainExchange(HANDLE port, const u8* request, HANDLE event) {
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD n = 0;
    if (!WriteFile(port, request, kFrameSize, &n, &ov) &&
        (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, &ov, &n, TRUE)))
        return false;
    u8 answer[kFrameSize];
    ov = OVERLAPPED{};
    ov.hEvent = event;
    if (!ReadFile(port, answer, kFrameSize, &n, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING || WaitForSingleObject(event, 1000) != WAIT_OBJECT_0 ||
            !GetOverlappedResult(port, &ov, &n, FALSE))
            return false;
    }
    return n == kFrameSize;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

// Both exchanges alternately, so that whatever else the machine does falls
// on both alike.
int Bench(u32 kind, u32 rounds) {
    if (!Open(kind)) return 1;
    HANDLE port = reinterpret_cast<HANDLE>(serialPortMcu.comHandle.load());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    u8 request[kFrameSize];
    BuildFrame(kVersionQuery, 0, request);
    double library = 0, plain = 0;
    for (u32 i = 0; i < rounds; ++i) {
        LARGE_INTEGER t0, t1, t2;
        QueryPerformanceCounter(&t0);
        u32 version = 0;
        const bool a = McuQuery(kVersionQuery, &version);
        QueryPerformanceCounter(&t1);
        const bool b = PlainExchange(port, request, event);
        QueryPerformanceCounter(&t2);
        if (!a || !b) return 1;
        library += Seconds(t0, t1);
        plain += Seconds(t1, t2);
    }
    CloseHandle(event);
    std::printf("library %.1f us, plain %.1f us, ratio %.3f\n", library * 1e6 / rounds, plain * 1e6 / rounds,
                library / plain);
    CloseMcuLinks();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "find") == 0) return Find(Number(argv[2]), Number(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "query") == 0) return Query(Number(argv[2]));
    if (argc == 4 && std::strcmp(argv[1], "bench") == 0) return Bench(Number(argv[2]), Number(argv[3]));
    std::fprintf(stderr, "usage: hx_e2e_mcu find KIND OSMAJOR | query KIND | bench KIND N\n");
    return 64;
}
