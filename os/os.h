// The OS seam: the few primitives the portable core needs from the operating
// system. Implemented in os/posix and os/win32. Later subsystems add their
// primitives here (events, threads, serial ports, named objects).
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/types.h"

namespace hx {

// The four 32-bit words shared by every process that has the library loaded.
struct SharedWords {
    std::atomic<u32> dioSharedFlag;
    std::atomic<u32> wdtInitDone;
    std::atomic<u32> linkFallback[2];
};
static_assert(sizeof(SharedWords) == 16, "four 32-bit words");

namespace os {

// Opaque OS handle: a Windows HANDLE or a POSIX descriptor + 1 (so 0 stays
// "none"); kInvalidHandle marks a failed open.
using Handle = std::uintptr_t;
inline constexpr Handle kNoHandle = 0;
inline constexpr Handle kInvalidHandle = ~Handle{0};
inline bool HandleIsOpen(Handle h) { return h != kNoHandle && h != kInvalidHandle; }
void CloseHandle(Handle h);

// The process-wide recursive library lock.
void LibraryLockCreate();
void LibraryLockDelete();
void LibraryLockEnter();
void LibraryLockLeave();

// Maps the shared words; returns nullptr when sharing is unavailable (the core
// then uses process-local words).
SharedWords* AttachSharedWords();
void DetachSharedWords();

// One line for whoever runs the program (stderr or the system log); not used
// on Windows, where the hardware back-end shows its message boxes.
void Diagnostic(const char* text);

void SleepMs(u32 ms);

// RegisterWinIOService: installs the hardware access driver as a service
// (Windows); 1 when installed, 0 otherwise (always 0 where there is none).
u32 RegisterAccessService();

}  // namespace os
}  // namespace hx
