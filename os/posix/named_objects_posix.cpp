// The named objects of the link sharing on POSIX. One shared-memory object,
// the channel, holds them all under the base names of their Windows
// counterparts ("Global\Qdx_Tx" is "Qdx_Tx"):
//
//   Qdx_Tx, Qdx_Rx   signals: futex words, 0 reset, 1 set (manual-reset events)
//   Qdx_Ux, Qdx_Wx   locks: robust, process-shared mutexes
//   Qdx_Sm           the block: 32 bytes
//
// A process that is killed while holding a lock leaves it to the next waiter
// with EOWNERDEAD; a futex word holds nothing that a death could leave
// half-done. The channel is a System V segment that the named object names
// (os/posix/shared_segment_posix.h), so no process can cut it short under
// the others. Every process that has the channel attached holds a shared
// flock on the named object. A process that can take the flock exclusively
// is alone and sets up a fresh channel, which goes away with the last
// process attached to it, so nothing a dead process left behind outlives the
// last process that used it. The channel is owner-only.
//
// Whatever another process writes into the channel is taken as data: no word
// of it is an index or a count here. A lock word written with garbage may
// name a holder that never lets go, so a lock is waited for at most
// kLockWaitMs, longer than any holder keeps it (a client holds its lock for
// one request: the reply wait and the exchange), and then set up afresh.
#include "os/posix/named_objects_posix.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "os/os.h"
#include "os/posix/shared_segment_posix.h"
#include "os/posix/wait_posix.h"

namespace hx::os {
namespace {

constexpr u32 kSignals = 2;
constexpr u32 kLocks = 2;
constexpr u32 kBlockBytes = 32;
constexpr u32 kChannelReady = 0x51445831;  // "QDX1": the objects are set up
constexpr mode_t kOwnerOnly = 0600;
constexpr u32 kAttachAttempts = 50;        // set-ups of processes that died meanwhile
constexpr std::size_t kNameMax = 64;
constexpr u32 kLockWaitMs = 3000;
constexpr long kNsPerMs = 1000000;
constexpr long kNsPerSecond = 1000000000;

struct Channel {
    std::atomic<u32> ready;
    std::atomic<u32> signal[kSignals];
    pthread_mutex_t lock[kLocks];
    alignas(8) std::atomic<u32> block[kBlockBytes / sizeof(u32)];
};

enum class Kind { Signal, Lock, Block };
struct NamedSlot {
    const char* name;
    Kind kind;
    u32 index;
};
constexpr NamedSlot kSlots[] = {
    {"Qdx_Tx", Kind::Signal, 0},
    {"Qdx_Rx", Kind::Signal, 1},
    {"Qdx_Ux", Kind::Lock, 0},
    {"Qdx_Wx", Kind::Lock, 1},
    {"Qdx_Sm", Kind::Block, 0},
};

char g_name[kNameMax] = "/Qdx_Sm";
pthread_mutex_t g_attach = PTHREAD_MUTEX_INITIALIZER;  // guards the three below
int g_fd = -1;
Channel* g_channel = nullptr;
u32 g_refs = 0;

bool InitLock(pthread_mutex_t* m) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
                    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
                    pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// Alone with the channel (the flock is ours exclusively): a fresh one with
// its objects set up, attached; nullptr when it cannot be made.
Channel* SetUpChannel(int fd) {
    const int id = NewRecordedSegment(fd, sizeof(Channel), kOwnerOnly);
    Channel* c = static_cast<Channel*>(AttachSegment(id));
    RemoveSegmentWhenUnused(id);  // it lives while attached
    bool ok = c != nullptr;
    for (u32 i = 0; ok && i < kLocks; ++i) ok = InitLock(&c->lock[i]);
    if (ok) c->ready.store(kChannelReady, std::memory_order_release);
    return c;
}

// The channel as a process that holds the flock shared sees it, or nullptr
// when the process that set it up died before it was done.
Channel* ReadyChannel(int fd) {
    Channel* c = static_cast<Channel*>(AttachSegment(RecordedSegment(fd, sizeof(Channel), kOwnerOnly)));
    if (c && c->ready.load(std::memory_order_acquire) != kChannelReady) {
        DetachSegment(c);
        c = nullptr;
    }
    return c;
}

Channel* OpenChannel(int fd) {
    for (u32 attempt = 0; attempt < kAttachAttempts; ++attempt) {
        Channel* fresh = flock(fd, LOCK_EX | LOCK_NB) == 0 ? SetUpChannel(fd) : nullptr;
        // Converts our exclusive lock, or waits while another process sets
        // the channel up.
        if (flock(fd, LOCK_SH) != 0) {
            DetachSegment(fresh);
            return nullptr;
        }
        if (fresh && fresh->ready.load() == kChannelReady) return fresh;
        DetachSegment(fresh);
        if (Channel* c = ReadyChannel(fd)) return c;
        flock(fd, LOCK_UN);
        SleepMs(1);
    }
    return nullptr;
}

// One more user of the channel of this process; mapped at the first.
Channel* Attach() {
    pthread_mutex_lock(&g_attach);
    if (!g_channel) {
        const int fd = shm_open(g_name, O_RDWR | O_CREAT | O_CLOEXEC, kOwnerOnly);
        Channel* c = fd >= 0 ? OpenChannel(fd) : nullptr;
        if (c) {
            g_fd = fd;
            g_channel = c;
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    Channel* c = g_channel;
    if (c) ++g_refs;
    pthread_mutex_unlock(&g_attach);
    return c;
}

void Detach() {
    pthread_mutex_lock(&g_attach);
    if (g_refs > 0 && --g_refs == 0) {
        DetachSegment(g_channel);
        ::close(g_fd);  // drops our flock
        g_channel = nullptr;
        g_fd = -1;
    }
    pthread_mutex_unlock(&g_attach);
}

// The object of `kind` that `name` ("Global\Qdx_Tx" or "Qdx_Tx") names.
Handle OpenNamed(const char* name, Kind kind) {
    const char* base = std::strrchr(name, '\\');
    base = base ? base + 1 : name;
    for (const NamedSlot& slot : kSlots) {
        if (slot.kind != kind || std::strcmp(slot.name, base) != 0) continue;
        Channel* c = Attach();
        if (!c) return kNoHandle;
        switch (kind) {
            case Kind::Signal: return reinterpret_cast<Handle>(&c->signal[slot.index]);
            case Kind::Lock: return reinterpret_cast<Handle>(&c->lock[slot.index]);
            case Kind::Block: return reinterpret_cast<Handle>(c->block);
        }
    }
    return kNoHandle;
}

std::atomic<u32>* SignalOf(Handle h) { return HandleIsOpen(h) ? reinterpret_cast<std::atomic<u32>*>(h) : nullptr; }
pthread_mutex_t* LockOf(Handle h) { return HandleIsOpen(h) ? reinterpret_cast<pthread_mutex_t*>(h) : nullptr; }

long Futex(std::atomic<u32>* word, int op, u32 value, const timespec* timeout) {
    static_assert(sizeof(std::atomic<u32>) == sizeof(u32), "a futex word is a plain 32-bit word");
    return syscall(SYS_futex, reinterpret_cast<u32*>(word), op, value, timeout, nullptr, 0);
}

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer records a lock taken from a dead holder (EOWNERDEAD) by
// pthread_mutex_trylock but not by pthread_mutex_timedlock, and then reports
// its unlock: under it the bounded wait polls.
int LockWithin(pthread_mutex_t* m, u32 ms) {
    const i64 until = MonotonicMs() + ms;
    for (;;) {
        const int r = pthread_mutex_trylock(m);
        if (r != EBUSY || MonotonicMs() >= until) return r == EBUSY ? ETIMEDOUT : r;
        usleep(200);
    }
}
#else
int LockWithin(pthread_mutex_t* m, u32 ms) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);  // pthread_mutex_timedlock's clock
    until.tv_sec += ms / 1000;
    until.tv_nsec += static_cast<long>(ms % 1000) * kNsPerMs;
    if (until.tv_nsec >= kNsPerSecond) until.tv_sec += 1, until.tv_nsec -= kNsPerSecond;
    return pthread_mutex_timedlock(m, &until);
}
#endif

constexpr u32 kSignalSet = 1;
constexpr u32 kSignalReset = 0;

}  // namespace

void SetSharedLinkName(const char* name) {
    std::strncpy(g_name, name ? name : "/Qdx_Sm", kNameMax - 1);
    g_name[kNameMax - 1] = '\0';
}

const char* SharedLinkName() { return g_name; }

Handle NamedEventOpen(const char* name) { return OpenNamed(name, Kind::Signal); }
Handle NamedMutexOpen(const char* name) { return OpenNamed(name, Kind::Lock); }

void NamedObjectClose(Handle object) {
    if (HandleIsOpen(object)) Detach();
}

bool NamedEventSet(Handle event) {
    std::atomic<u32>* word = SignalOf(event);
    if (!word) return false;
    word->store(kSignalSet, std::memory_order_release);
    Futex(word, FUTEX_WAKE, INT_MAX, nullptr);
    return true;
}

bool NamedEventReset(Handle event) {
    std::atomic<u32>* word = SignalOf(event);
    if (!word) return false;
    word->store(kSignalReset, std::memory_order_release);
    return true;
}

bool NamedEventWait(Handle event, u32 timeoutMs) {
    std::atomic<u32>* word = SignalOf(event);
    if (!word) return false;
    const i64 deadline = timeoutMs == kInfinite ? 0 : MonotonicMs() + timeoutMs;
    while (word->load(std::memory_order_acquire) == kSignalReset) {
        timespec left{};
        if (timeoutMs != kInfinite) {
            const i64 ms = deadline - MonotonicMs();
            if (ms <= 0) return false;
            left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        }
        // Sleeps only while the word is still 0; a set in between returns at once.
        if (Futex(word, FUTEX_WAIT, kSignalReset, timeoutMs == kInfinite ? nullptr : &left) != 0 &&
            errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
            return false;
        }
    }
    return true;
}

MutexWait NamedMutexLock(Handle mutex, void (*repair)()) {
    pthread_mutex_t* m = LockOf(mutex);
    if (!m) return MutexWait::Failed;
    const int r = LockWithin(m, kLockWaitMs);
    if (r == 0) return MutexWait::Acquired;
    if (r == ETIMEDOUT) {
        // Held past any request: garbage, or a holder that is stuck. The
        // next waiter finds it set up afresh; this request goes on without it.
        InitLock(m);
        return MutexWait::Failed;
    }
    if (r != EOWNERDEAD) return MutexWait::Failed;
    // Repaired before it is marked consistent: should we die in between,
    // the next holder is told again.
    if (repair) repair();
    pthread_mutex_consistent(m);
    return MutexWait::Abandoned;
}

void NamedMutexUnlock(Handle mutex) {
    if (pthread_mutex_t* m = LockOf(mutex)) pthread_mutex_unlock(m);
}

Handle SharedMappingOpen(const char* name, u32 size) {
    return size <= kBlockBytes ? OpenNamed(name, Kind::Block) : kNoHandle;
}

void* SharedMappingView(Handle mapping, u32 size) {
    return HandleIsOpen(mapping) && size <= kBlockBytes ? reinterpret_cast<void*>(mapping) : nullptr;
}

void SharedMappingClose(Handle mapping, void*) { NamedObjectClose(mapping); }

bool EnableGlobalCreatePrivilege() { return true; }

bool SharedBlockNumbered() { return true; }

}  // namespace hx::os
