// Win32 events and threads of the OS seam.
#include <windows.h>

#include <atomic>

#include "os/os.h"

namespace hx::os {
namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }

constexpr DWORD kExitTerminated = 0xFFFFFFFFu;
constexpr DWORD kMaxWaitEvents = 8;

// CreateThread passes one pointer; the body and its argument travel in a
// slot that the new thread frees once it has copied them.
struct StartSlot {
    std::atomic<bool> busy{false};
    ThreadBody body = nullptr;
    void* arg = nullptr;
};
constexpr u32 kStartSlots = 16;
StartSlot g_slots[kStartSlots];

DWORD WINAPI Trampoline(LPVOID raw) {
    StartSlot& slot = *static_cast<StartSlot*>(raw);
    const ThreadBody body = slot.body;
    void* const arg = slot.arg;
    slot.busy.store(false);
    body(arg);
    return 0;
}

}  // namespace

Handle EventCreate() {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return h ? FromHandle(h) : kNoHandle;
}

bool EventSet(Handle event) { return HandleIsOpen(event) && SetEvent(H(event)); }
bool EventReset(Handle event) { return HandleIsOpen(event) && ResetEvent(H(event)); }

int WaitAny(const Handle* events, u32 count, u32 timeoutMs) {
    if (count == 0 || count > kMaxWaitEvents) return kWaitFailed;
    HANDLE handles[kMaxWaitEvents];
    for (u32 i = 0; i < count; ++i) handles[i] = H(events[i]);
    const DWORD r = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
    if (r < WAIT_OBJECT_0 + count) return static_cast<int>(r - WAIT_OBJECT_0);
    return r == WAIT_TIMEOUT ? kWaitTimedOut : kWaitFailed;
}

Handle ThreadStart(ThreadBody body, void* arg) {
    for (StartSlot& slot : g_slots) {
        bool expected = false;
        if (!slot.busy.compare_exchange_strong(expected, true)) continue;
        slot.body = body;
        slot.arg = arg;
        HANDLE h = CreateThread(nullptr, 0, Trampoline, &slot, 0, nullptr);
        if (!h) {
            slot.busy.store(false);
            return kNoHandle;
        }
        SetThreadPriority(h, THREAD_PRIORITY_TIME_CRITICAL);
        return FromHandle(h);
    }
    return kNoHandle;
}

bool ThreadActive(Handle thread) {
    DWORD code = 0;
    return HandleIsOpen(thread) && GetExitCodeThread(H(thread), &code) && code == STILL_ACTIVE;
}

bool ThreadWait(Handle thread, u32 timeoutMs) {
    return !HandleIsOpen(thread) || WaitForSingleObject(H(thread), timeoutMs) == WAIT_OBJECT_0;
}

void ThreadTerminate(Handle thread) {
    if (HandleIsOpen(thread)) TerminateThread(H(thread), kExitTerminated);
}

void ThreadClose(Handle thread) {
    if (HandleIsOpen(thread)) ::CloseHandle(H(thread));
}

}  // namespace hx::os
