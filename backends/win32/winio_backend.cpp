#include "backends/win32/winio_backend.h"

#include <windows.h>

#include <cstdint>

#include "backends/win32/registry_inventory.h"
#include "backends/win32/registry_ports.h"

namespace hx::os::win32 {
namespace {

// The six WinIo functions: stdcall, each returning a one-byte boolean (a C++
// bool, not a four-byte BOOL: only AL carries the result). Physical addresses
// travel in a pointer-sized argument.
using InitializeWinIoFn = bool(WINAPI*)();
using ShutdownWinIoFn = bool(WINAPI*)();
using GetPortValFn = bool(WINAPI*)(WORD port, PDWORD value, BYTE size);
using SetPortValFn = bool(WINAPI*)(WORD port, DWORD value, BYTE size);
using GetPhysLongFn = bool(WINAPI*)(std::uintptr_t address, PDWORD value);
using SetPhysLongFn = bool(WINAPI*)(std::uintptr_t address, DWORD value);

struct WinIo {
    HMODULE module;
    InitializeWinIoFn initialize;
    ShutdownWinIoFn shutdown;
    GetPortValFn getPortVal;
    SetPortValFn setPortVal;
    GetPhysLongFn getPhysLong;
    SetPhysLongFn setPhysLong;
};

// Filled once by Open. The module stays loaded for the life of the process:
// freeing it from a DLL entry point during process exit is not allowed.
WinIo g_winIo{};

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool LoadWinIo() {
    if (g_winIo.module) return true;
    HMODULE module = LoadLibraryW(kWinIoLibrary);
    if (!module) return false;
    WinIo w{module,
            Resolve<InitializeWinIoFn>(module, "InitializeWinIo"),
            Resolve<ShutdownWinIoFn>(module, "ShutdownWinIo"),
            Resolve<GetPortValFn>(module, "GetPortVal"),
            Resolve<SetPortValFn>(module, "SetPortVal"),
            Resolve<GetPhysLongFn>(module, "GetPhysLong"),
            Resolve<SetPhysLongFn>(module, "SetPhysLong")};
    if (!w.initialize || !w.shutdown || !w.getPortVal || !w.setPortVal || !w.getPhysLong || !w.setPhysLong) {
        FreeLibrary(module);
        return false;
    }
    g_winIo = w;
    return true;
}

bool Open() {
    // A WinIo library that is missing or incomplete fails like one whose
    // driver cannot be initialised.
    if (LoadWinIo() && g_winIo.initialize()) return true;
    ShowMessage(OpenFailureMessage(Ui().lookUpIsWow64Process()), MB_OK);
    return false;
}

void Close() {
    if (g_winIo.shutdown) g_winIo.shutdown();
}

bool ReadPort(u16 port, u32* value, u8 size) {
    if (!g_winIo.getPortVal) return false;
    DWORD v = 0;
    if (!g_winIo.getPortVal(port, &v, size)) return false;
    *value = v;
    return true;
}

bool WritePort(u16 port, u32 value, u8 size) {
    return g_winIo.setPortVal && g_winIo.setPortVal(port, value, size);
}

bool ReadPhys32(u32 address, u32* value) {
    if (!g_winIo.getPhysLong) return false;
    DWORD v = 0;
    if (!g_winIo.getPhysLong(address, &v)) return false;
    *value = v;
    return true;
}

bool WritePhys32(u32 address, u32 value) {
    return g_winIo.setPhysLong && g_winIo.setPhysLong(address, value);
}

constexpr Backend kWinIoBackend{
    "winio",
    {Open, Close, ReadPort, WritePort, ReadPhys32, WritePhys32},
    {ReadRegistrySmbios, RtlMajorVersion, FindMcuPortInRegistry},
    RegisterWinIoService,
};

}  // namespace

const wchar_t* OpenFailureMessage(IsWow64ProcessFn isWow64Process) {
    BOOL wow64 = FALSE;
    if (isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64) return kWow64Message;
    return kInitFailedMessage;
}

const Backend* WinIoBackend() { return &kWinIoBackend; }

}  // namespace hx::os::win32
