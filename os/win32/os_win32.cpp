// Win32 implementation of the OS seam primitives of the library frame: the
// library lock, the words shared by every process that loads the DLL, handle
// closing, sleeping and the debugger diagnostic.
#include <windows.h>

#include "os/os.h"
#include "os/win32/shared_section.h"

namespace hx::os {

namespace win32 {

// The shared data block lives in its own section, marked shared in the DLL's
// section table: every process mapping the DLL file sees the same four words,
// and the loader gives a fresh zeroed copy when no process has it mapped.
// The variable must be initialised, or GCC would not place it in the section.
SharedWords SharedSection __attribute__((section(".shared"), shared)) = {};

}  // namespace win32

namespace {

// A critical section is recursive for its owning thread, as the lock must be.
CRITICAL_SECTION g_libraryLock;
bool g_libraryLockCreated = false;

}  // namespace

void CloseHandle(Handle h) {
    if (HandleIsOpen(h)) ::CloseHandle(reinterpret_cast<HANDLE>(h));
}

void LibraryLockCreate() {
    if (g_libraryLockCreated) return;
    InitializeCriticalSection(&g_libraryLock);
    g_libraryLockCreated = true;
}

void LibraryLockDelete() {
    if (!g_libraryLockCreated) return;
    DeleteCriticalSection(&g_libraryLock);
    g_libraryLockCreated = false;
}

void LibraryLockEnter() {
    if (g_libraryLockCreated) EnterCriticalSection(&g_libraryLock);
}

void LibraryLockLeave() {
    if (g_libraryLockCreated) LeaveCriticalSection(&g_libraryLock);
}

SharedWords* AttachSharedWords() { return &win32::SharedSection; }

void DetachSharedWords() {}  // the section goes away with the DLL's mapping

// Only a debugger sees this: the library shows no text of its own on Windows
// besides the message boxes of the hardware back-end.
void Diagnostic(const char* text) {
    OutputDebugStringA("halvex32: ");
    OutputDebugStringA(text);
    OutputDebugStringA("\n");
}

void SleepMs(u32 ms) { ::Sleep(ms); }

u64 NowMs() { return GetTickCount64(); }

}  // namespace hx::os
