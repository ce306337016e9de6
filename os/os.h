// The OS seam: the few primitives the portable core needs from the operating
// system. Implemented in os/posix and os/win32.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/os_types.h"

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
// A millisecond clock that only moves forward (not the time of day).
u64 NowMs();

// ---- Events and threads (MCU link, receive threads) -----------------------

// Wait without a time-out.
inline constexpr u32 kInfinite = 0xFFFFFFFFu;

// Unnamed manual-reset event, created non-signalled; kNoHandle on failure.
// Closed with CloseHandle.
Handle EventCreate();
bool EventSet(Handle event);
bool EventReset(Handle event);

// Waits until one of `count` events is signalled (the lowest index wins) or
// `timeoutMs` passes. Returns that index, kWaitTimedOut or kWaitFailed.
inline constexpr int kWaitTimedOut = -1;
inline constexpr int kWaitFailed = -2;
int WaitAny(const Handle* events, u32 count, u32 timeoutMs);

// Starts `body(arg)` on a new thread at the highest priority the process may
// use; kNoHandle on failure. Released with ThreadClose, never CloseHandle.
using ThreadBody = void (*)(void* arg);
Handle ThreadStart(ThreadBody body, void* arg);
bool ThreadActive(Handle thread);
// True when the thread has ended within `timeoutMs`.
bool ThreadWait(Handle thread, u32 timeoutMs);
// Ends a thread that did not stop by itself where the OS allows it (exit code
// FFFFFFFFh on Windows); elsewhere the thread is abandoned to finish alone.
void ThreadTerminate(Handle thread);
void ThreadClose(Handle thread);

// ---- Serial ports (MCU link) ------------------------------------------------

// Device paths of serial ports: UTF-16 on Windows ("\\.\COM5"), bytes
// elsewhere ("/dev/ttyS1"). A link's path buffer holds 16 characters.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
inline constexpr u32 kPortPathChars = 16;

// Opens the port for reading and writing without sharing: a second opener,
// in this process or another, fails. kInvalidHandle on failure.
Handle SerialOpen(const PathChar* path);
// 8 data bits, even parity, 1 stop bit at `baud`; DTR and RTS low; no flow
// control; binary. False when the port refuses the settings.
bool SerialSetup(Handle port, u32 baud);
// Clears errors and break, flushes, lowers RTS, purges both directions.
void SerialResetLine(Handle port);
// Reads `count` bytes into `buffer`, all or nothing, alike on every OS:
// - true with *got = count when the bytes were all waiting at the call (the
//   events are then not looked at), or when they arrived before `timeoutMs`
//   passed and before `stopEvent` was signalled;
// - false with *got = 0 otherwise: on a stop (also one seen together with
//   the last bytes), on the time-out, on an error. Bytes of the frame that
//   came before are dropped, so a partial answer at the deadline is never
//   completed by a later read.
// `ioEvent` carries the overlapped completion on Windows; it is signalled
// from outside only after `stopEvent`. Nothing is written into `buffer`
// after the call returned.
bool SerialRead(Handle port, Handle stopEvent, Handle ioEvent, void* buffer, u32 count, u32* got, u32 timeoutMs);
// Blocks until all `count` bytes are written or the port fails.
bool SerialWrite(Handle port, const void* buffer, u32 count, u32* written);
// Discards pending input (and aborts a pending read); with `output` also
// pending output.
void SerialPurge(Handle port, bool output);

// ---- Named cross-process objects (sharing of the MCU link) ------------------

// Events are manual-reset and start non-signalled; mutexes start not owned.
// A name that exists already gives the existing object. kNoHandle on
// failure. Released with NamedObjectClose, never CloseHandle.
Handle NamedEventOpen(const char* name);
Handle NamedMutexOpen(const char* name);
void NamedObjectClose(Handle object);
bool NamedEventSet(Handle event);
bool NamedEventReset(Handle event);
// True when the event is (or becomes) signalled within `timeoutMs`
// (kInfinite: no limit); false on the time-out or a failure.
bool NamedEventWait(Handle event, u32 timeoutMs);

enum class MutexWait : u8 {
    Acquired,
    Abandoned,  // acquired; its last holder ended while holding it
    Failed,
};
// Waits without a time-out. When the last holder ended while holding the
// mutex, `repair` (if any) runs before the mutex is marked usable again, so
// that the words it guards are in a defined state for everyone after.
MutexWait NamedMutexLock(Handle mutex, void (*repair)() = nullptr);
void NamedMutexUnlock(Handle mutex);

// A named block of shared memory, zero when first created: its mapping
// object (kNoHandle on failure), then a view of `size` bytes (nullptr on
// failure). SharedMappingClose releases both (`view` may be nullptr).
Handle SharedMappingOpen(const char* name, u32 size);
void* SharedMappingView(Handle mapping, u32 size);
void SharedMappingClose(Handle mapping, void* view);

// True when this process may create objects in the global namespace of
// every logon session (Windows: SeCreateGlobalPrivilege is now enabled in
// its token). POSIX names are machine-wide already: true.
bool EnableGlobalCreatePrivilege();

// True when the shared block belongs to this library alone, so that its
// spare words may carry request numbers. On Windows other programs may share
// the block under its names and expect it exactly as it was: false.
bool SharedBlockNumbered();

}  // namespace os
}  // namespace hx
