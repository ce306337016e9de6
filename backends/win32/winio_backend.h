// The Windows hardware back-end: port I/O and physical words through the WinIo
// library, loaded at run time, and the platform inventory from the registry.
#pragma once

#include "core/backend.h"
#include "backends/win32/win32_ui.h"

namespace hx::os::win32 {

// The WinIo library of this build: the 32-bit DLL loads WinIo32.dll, the
// 64-bit one WinIo64.dll (a 32-bit WinIo cannot load into a 64-bit process).
#if defined(_WIN64)
inline constexpr wchar_t kWinIoLibrary[] = L"WinIo64.dll";
#else
inline constexpr wchar_t kWinIoLibrary[] = L"WinIo32.dll";
#endif

inline constexpr wchar_t kWow64Message[] = L"No support WOW64, please install 64-bit driver library...";
inline constexpr wchar_t kInitFailedMessage[] = L"WinIO library initialization failed ...";

// The message for a WinIo that failed to initialise, given the IsWow64Process
// that the run-time lookup found (none when kernel32 lacks it): the WOW64 one
// only when the function exists, succeeds for this process and says WOW64.
const wchar_t* OpenFailureMessage(IsWow64ProcessFn isWow64Process);

const Backend* WinIoBackend();

// RegisterWinIOService: installs this build's WinIo driver file as the
// service "WINIO"; 1 when installed, 0 otherwise.
u32 RegisterWinIoService();

}  // namespace hx::os::win32
