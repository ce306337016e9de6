#include "sim/posix/shared_machine.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "os/os.h"
#include "os/posix/machine_names.h"
#include "os/posix/shared_segment_posix.h"
#include "os/posix/wait_posix.h"
#include "sim/board_links.h"
#include "sim/firmware/mcu_firmware.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

constexpr u32 kMachineMagic = 0x4D585648;  // "HVXM"
constexpr u32 kLayoutVersion = 1;
constexpr mode_t kOwnerOnly = 0600;
constexpr char kStateSuffix[] = ".board";
constexpr std::size_t kObjectNameMax = 160;
constexpr u32 kOpenAttempts = 8;  // objects set aside by others meanwhile

// What a process reads before it maps the object: is it a board it can use?
struct Layout {
    u32 magic;  // written last: the board is powered on
    u32 version;
    u64 imageBytes;
    u64 stateBytes;
};

struct Header {
    Layout layout;
    pthread_mutex_t lock;      // robust, process-shared, recursive
    os::i64 clockAtMs;             // CLOCK_MONOTONIC time up to which the board clock has followed
    u32 manualClock;           // 1: explicit advances only
    std::atomic<pid_t> hostPid;  // runs the links; 0: nobody
};
static_assert(sizeof(Header) <= kImageHeaderBytes, "the header fits the image's first page");
static_assert(std::atomic<pid_t>::is_always_lock_free, "a word other processes read");

struct Machine {
    std::atomic<bool> on;
    std::atomic<bool> following;  // this process's chips are all attached: the clock may run
    const BoardModel* model;
    char board[os::kMachineBoardMax + 1];
};
Machine g_machine{};
// Initial-exec: a block in the static TLS area. With the default model, in the dlopen'ed
// libhalvex32-virtual.so each thread's first lock of the machine made __tls_get_addr malloc the
// thread's TLS block for this object.
__attribute__((tls_model("initial-exec"))) thread_local u32 t_holds = 0;  // of the machine's lock by this thread

Header& TheHeader() { return *static_cast<Header*>(TheBoardImage().base); }

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

bool InitLock(pthread_mutex_t* m) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
                    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
                    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 && pthread_mutex_init(m, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

bool ManualClockAsked() {
    const char* clock = std::getenv(kClockVariable);
    return clock && std::strcmp(clock, kManualClock) == 0;
}

// The machine's segment, when it holds a powered-on board of
// this build's layout and of `model`; -1 otherwise.
int UsableSegment(const char* name, const BoardModel& model) {
    const BoardImage image = TheBoardImage();
    const int id = os::KeyedSegment(os::KeyOfName(name), image.bytes, kOwnerOnly);
    const auto* bytes = static_cast<const char*>(os::AttachSegment(id));
    if (!bytes) return -1;
    Layout l{};
    std::memcpy(&l, bytes, sizeof l);
    const bool usable = l.magic == kMachineMagic && l.version == kLayoutVersion && l.imageBytes == image.bytes &&
                        l.stateBytes == sizeof(BoardState) &&
                        std::strncmp(bytes + kImageHeaderBytes + offsetof(BoardState, model), model.name,
                                     kModelNameMax) == 0;
    os::DetachSegment(const_cast<char*>(bytes));
    return usable ? id : -1;
}

// Runs the board clock up to real time; the first hold of a thread does it.
void FollowRealTime(Header& h) {
    if (h.manualClock || !g_machine.following.load(std::memory_order_relaxed)) return;
    const os::i64 now = os::MonotonicMs();
    if (now <= h.clockAtMs) return;
    const u64 elapsed = static_cast<u64>(now - h.clockAtMs);
    h.clockAtMs = now;
    TheBoard().AdvanceClock(elapsed);
}

// In the freshly sized, mapped object: the header, then the board at power-on.
bool PowerOnMachine(const BoardModel& model) {
    Header& h = TheHeader();
    if (!InitLock(&h.lock)) return false;
    h.layout.version = kLayoutVersion;
    h.layout.imageBytes = TheBoardImage().bytes;
    h.layout.stateBytes = sizeof(BoardState);
    h.manualClock = ManualClockAsked() ? 1 : 0;
    h.clockAtMs = os::MonotonicMs();
    h.hostPid.store(0);
    BuildBoard(model, true);
    h.layout.magic = kMachineMagic;  // others read it only after taking the flock this process holds
    return true;
}

void MapPrivateImage() {
    const BoardImage image = TheBoardImage();
    mmap(image.base, image.bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
}

bool MapShared(int id) {
    if (os::AttachSegment(id, TheBoardImage().base)) return true;
    MapPrivateImage();  // a failed attach in place may have taken the old mapping away
    return false;
}

// The descriptor still is the object of `name` (not one set aside meanwhile).
bool StillNamed(int fd, const char* name) {
    const int again = shm_open(name, O_RDONLY | O_CLOEXEC, 0);
    if (again < 0) return false;
    struct stat a {}, b {};
    const bool same = fstat(fd, &a) == 0 && fstat(again, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
    ::close(again);
    return same;
}

// The object of `name`, opened (created if `create`) and locked: one
// process at a time creates or joins. The kernel drops the lock of one that
// dies, and the next finds no magic. -1 with errno set when it cannot be had.
int OpenLocked(const char* name, bool create) {
    for (u32 attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int fd = shm_open(name, O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), kOwnerOnly);
        if (fd < 0) return -1;
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        if (StillNamed(fd, name)) return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

// `id`: the usable segment, or -1 to make one.
MachineJoin JoinLocked(const char* name, const BoardModel& model, const char* board, int id) {
    const bool usable = id >= 0;
    if (!usable) id = os::NewKeyedSegment(os::KeyOfName(name), TheBoardImage().bytes, kOwnerOnly);
    if (id < 0) return MachineJoin::Failed;
    StopBoardLinks();  // the links of a private board must not see the image change
    if (!MapShared(id)) return MachineJoin::Failed;
    g_machine.model = &model;
    std::strncpy(g_machine.board, board, os::kMachineBoardMax);
    g_machine.board[os::kMachineBoardMax] = '\0';
    g_machine.on.store(true);
    TheBoard().ResetAccess();
    if (usable) BuildBoard(model, false);
    if (usable || PowerOnMachine(model)) {
        g_machine.following.store(true);
        return usable ? MachineJoin::Joined : MachineJoin::Created;
    }
    g_machine.on.store(false);
    MapPrivateImage();
    return MachineJoin::Failed;
}

}  // namespace

const char* SharedBoardName() {
    const char* board = std::getenv(kBoardNameVariable);
    return board && *board ? board : kDefaultBoardName;
}

bool SharedMachineObject(const char* model, const char* board, char* out, std::size_t capacity) {
    return os::MachineObjectName(model, board, kStateSuffix, out, capacity);
}

MachineJoin JoinSharedMachine(const BoardModel& model, const char* board, bool create) {
    if (OnSharedMachine(model, board)) return MachineJoin::Joined;
    LeaveSharedMachine();
    char name[kObjectNameMax];
    if (!SharedMachineObject(model.name, board, name, sizeof name)) return MachineJoin::Failed;
    const int fd = OpenLocked(name, create);
    if (fd < 0) return errno == ENOENT ? MachineJoin::Absent : MachineJoin::Failed;
    const int id = UsableSegment(name, model);
    const MachineJoin result = id < 0 && !create ? MachineJoin::Absent : JoinLocked(name, model, board, id);
    flock(fd, LOCK_UN);
    ::close(fd);
    return result;
}

void LeaveSharedMachine() {
    if (!g_machine.on.load()) return;
    StopBoardLinks();
    g_machine.following.store(false);
    g_machine.on.store(false);
    MapPrivateImage();
    TheBoard().ResetAccess();
}

bool OnSharedMachine() { return g_machine.on.load(std::memory_order_relaxed); }

bool OnSharedMachine(const BoardModel& model, const char* board) {
    return OnSharedMachine() && g_machine.model == &model &&
           std::strncmp(g_machine.board, board, os::kMachineBoardMax) == 0;
}

bool ResetSharedMachine() {
    if (!OnSharedMachine()) return false;
    LockMachine();
    // The device paths are the computer's, not the board's: the links stay.
    const LinkPathState paths = TheLinks().paths;
    BuildBoard(*g_machine.model, true);
    LinkPathState& p = TheLinks().paths;
    p = paths;
    for (bool& absent : p.mcuPortAbsent) absent = false;
    if (p.hostUp) PowerOnFirmware(TheLinks().mcu);
    TheHeader().clockAtMs = os::MonotonicMs();
    UnlockMachine();
    KickLinks();
    return true;
}

bool DestroySharedMachine(const char* model, const char* board) {
    char name[kObjectNameMax];
    if (!SharedMachineObject(model, board, name, sizeof name)) return false;
    os::RemoveKeyedSegment(os::KeyOfName(name));
    const bool existed = shm_unlink(name) == 0;
    os::RemoveMachineNames(model, board);
    return existed;
}

void LockMachine() {
    Header& h = TheHeader();
    // A holder that died left the state as it was; it is taken as it is.
    if (pthread_mutex_lock(&h.lock) == EOWNERDEAD) pthread_mutex_consistent(&h.lock);
    if (t_holds++ == 0) FollowRealTime(h);
}

void UnlockMachine() {
    --t_holds;
    pthread_mutex_unlock(&TheHeader().lock);
}

bool MachineClockFollowsRealTime() { return OnSharedMachine() && TheHeader().manualClock == 0; }

bool LinksHostedElsewhere() {
    const pid_t host = TheHeader().hostPid.load();
    return host != getpid() && Alive(host);
}

void SetLinksHostedHere(bool here) {
    Header& h = TheHeader();
    if (here) h.hostPid.store(getpid());
    else if (h.hostPid.load() == getpid()) h.hostPid.store(0);
}

}  // namespace hx::sim
