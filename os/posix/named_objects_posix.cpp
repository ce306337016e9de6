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
// half-done. Every process that has the channel mapped holds a shared flock
// on it. A process that can take the flock exclusively is alone and sets the
// channel up afresh, so nothing a dead process left behind outlives the last
// process that used it. The channel is created with owner-only permissions.
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

Channel* MapChannel(int fd) {
    void* map = mmap(nullptr, sizeof(Channel), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return map == MAP_FAILED ? nullptr : static_cast<Channel*>(map);
}

bool InitLock(pthread_mutex_t* m) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
                    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
                    pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// Alone with the channel (the flock is ours exclusively): zero it and set
// up its objects.
void SetUpChannel(int fd) {
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, sizeof(Channel)) != 0) return;
    Channel* c = MapChannel(fd);
    if (!c) return;
    bool ok = true;
    for (pthread_mutex_t& m : c->lock) ok = ok && InitLock(&m);
    if (ok) c->ready.store(kChannelReady, std::memory_order_release);
    munmap(c, sizeof(Channel));
}

// The channel as a process that holds the flock shared sees it, or nullptr
// when the process that set it up died before it was done.
Channel* ReadyChannel(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(Channel))) return nullptr;
    Channel* c = MapChannel(fd);
    if (c && c->ready.load(std::memory_order_acquire) != kChannelReady) {
        munmap(c, sizeof(Channel));
        c = nullptr;
    }
    return c;
}

Channel* OpenChannel(int fd) {
    for (u32 attempt = 0; attempt < kAttachAttempts; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) SetUpChannel(fd);
        // Converts our exclusive lock, or waits while another process sets
        // the channel up.
        if (flock(fd, LOCK_SH) != 0) return nullptr;
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
        munmap(g_channel, sizeof(Channel));
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
    const int r = pthread_mutex_lock(m);
    if (r == 0) return MutexWait::Acquired;
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
