// POSIX events and threads of the OS seam. An event is an eventfd: set adds
// to its counter, reset drains it, and it stays readable (signalled) until
// reset, which is exactly a manual-reset event that poll() can wait on next
// to a serial port. A thread handle is the eventfd that the thread signals
// when its body has returned.
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "os/os.h"
#include "os/posix/wait_posix.h"

namespace hx::os {
namespace {

// Orders what a thread wrote before setting an event before what a waiter
// reads after seeing it (poll() itself carries no ordering that race
// detectors know of).
std::atomic<u32> g_signalOrder{0};

int Fd(Handle h) { return static_cast<int>(h - 1); }
Handle FromFd(int fd) { return static_cast<Handle>(fd) + 1; }

constexpr u32 kMaxWaitEvents = 8;

// ---- threads ----------------------------------------------------------------

enum SlotState : u32 { kSlotFree, kSlotRunning, kSlotFinished, kSlotAbandoned };

struct ThreadSlot {
    std::atomic<u32> state{kSlotFree};
    std::atomic<int> doneFd{-1};
    pthread_t thread{};
    ThreadBody body = nullptr;
    void* arg = nullptr;
};

constexpr u32 kMaxThreads = 32;
ThreadSlot g_threads[kMaxThreads];

ThreadSlot* SlotOf(Handle h) {
    if (!HandleIsOpen(h)) return nullptr;
    for (ThreadSlot& s : g_threads) {
        if (s.state.load() != kSlotFree && s.doneFd.load() == Fd(h)) return &s;
    }
    return nullptr;
}

void ReleaseSlot(ThreadSlot& slot) {
    ::close(slot.doneFd.exchange(-1));
    slot.state.store(kSlotFree);
}

// Windows' time-critical priority is the top of the normal (not real-time)
// range; the counterpart here is the lowest nice value. Without the
// privilege the thread keeps its priority, which only costs latency.
constexpr int kTimeCriticalNice = -20;

void* Trampoline(void* raw) {
    ThreadSlot& slot = *static_cast<ThreadSlot*>(raw);
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kTimeCriticalNice);
    slot.body(slot.arg);
    const int fd = slot.doneFd.load();
    g_signalOrder.fetch_add(1, std::memory_order_release);
    eventfd_write(fd, 1);
    // A thread given up by its owner cleans up after itself.
    if (slot.state.exchange(kSlotFinished) == kSlotAbandoned) ReleaseSlot(slot);
    return nullptr;
}

}  // namespace

i64 MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<i64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int PollFor(pollfd* fds, u32 count, u32 timeoutMs) {
    const i64 deadline = timeoutMs == kInfinite ? 0 : MonotonicMs() + timeoutMs;
    for (;;) {
        int wait = -1;
        if (timeoutMs != kInfinite) {
            const i64 left = deadline - MonotonicMs();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        const int n = ::poll(fds, count, wait);
        if (n >= 0) {
            if (n > 0) g_signalOrder.load(std::memory_order_acquire);
            return n;
        }
        if (errno != EINTR) return -1;
    }
}

Handle EventCreate() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd < 0 ? kNoHandle : FromFd(fd);
}

bool EventSet(Handle event) {
    if (!HandleIsOpen(event)) return false;
    g_signalOrder.fetch_add(1, std::memory_order_release);
    return eventfd_write(Fd(event), 1) == 0;
}

bool EventReset(Handle event) {
    if (!HandleIsOpen(event)) return false;
    eventfd_t drained = 0;
    if (eventfd_read(Fd(event), &drained) == 0) return true;
    return errno == EAGAIN;  // was not signalled
}

int WaitAny(const Handle* events, u32 count, u32 timeoutMs) {
    if (count == 0 || count > kMaxWaitEvents) return kWaitFailed;
    pollfd fds[kMaxWaitEvents]{};
    for (u32 i = 0; i < count; ++i) {
        if (!HandleIsOpen(events[i])) return kWaitFailed;
        fds[i] = pollfd{Fd(events[i]), POLLIN, 0};
    }
    const int n = PollFor(fds, count, timeoutMs);
    if (n < 0) return kWaitFailed;
    if (n == 0) return kWaitTimedOut;
    for (u32 i = 0; i < count; ++i) {
        if (fds[i].revents & POLLIN) return static_cast<int>(i);
    }
    return kWaitFailed;  // POLLERR or POLLNVAL only
}

Handle ThreadStart(ThreadBody body, void* arg) {
    for (ThreadSlot& slot : g_threads) {
        u32 expected = kSlotFree;
        if (!slot.state.compare_exchange_strong(expected, kSlotRunning)) continue;
        const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd < 0) {
            slot.state.store(kSlotFree);
            return kNoHandle;
        }
        slot.doneFd.store(fd);
        slot.body = body;
        slot.arg = arg;
        if (pthread_create(&slot.thread, nullptr, Trampoline, &slot) != 0) {
            ReleaseSlot(slot);
            return kNoHandle;
        }
        return FromFd(fd);
    }
    return kNoHandle;
}

bool ThreadWait(Handle thread, u32 timeoutMs) {
    if (!SlotOf(thread)) return true;
    pollfd fd{Fd(thread), POLLIN, 0};
    return PollFor(&fd, 1, timeoutMs) > 0;
}

bool ThreadActive(Handle thread) { return !ThreadWait(thread, 0); }

void ThreadTerminate(Handle) {
    // No thread can be ended safely from outside under POSIX; ThreadClose
    // abandons it and it releases its slot when its body returns.
}

void ThreadClose(Handle thread) {
    ThreadSlot* slot = SlotOf(thread);
    if (!slot) return;
    if (ThreadWait(thread, 0)) {
        pthread_join(slot->thread, nullptr);
        ReleaseSlot(*slot);
        return;
    }
    pthread_detach(slot->thread);
    if (slot->state.exchange(kSlotAbandoned) == kSlotFinished) ReleaseSlot(*slot);
}

}  // namespace hx::os
