#include "sim/posix/link_host.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "os/os.h"
#include "sim/board_links.h"
#include "sim/firmware/can_controller.h"
#include "sim/firmware/mcu_firmware.h"
#include "sim/posix/shared_machine.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

using i64 = long long;

constexpr u32 kRoles = kLinkRoles;
constexpr u32 kReadChunk = 512;
constexpr u32 kMaxAnswerBytes = 32;
constexpr u32 kMaxPending = 32;
constexpr u32 kMaxNoiseBytes = 64;
constexpr int kWriteStallMs = 200;  // a reader that takes nothing this long loses the bytes
constexpr u32 kWireChunkBytes = 64;  // one write to a terminal, at most
constexpr u32 kWireChunks = 256;     // writes waiting for the terminals
constexpr u8 kNoise[] = {0x00, 0x55, 0xAA, 0xFF, 0x7E, 0x11, 0x93, 0xC3};
constexpr u8 kStaleCodeFlip = 0x80;
constexpr u32 kCodeByte = 1;      // frame byte of the command code
constexpr u32 kChecksumByte = 6;  // frame byte of the checksum
// On a shared machine other processes change the firmware and the CAN
// queue: the host looks for what they left for the line this often.
constexpr int kSharedPollMs = 5;

struct Pending {
    i64 dueMs;
    LinkRole role;
    u32 count;
    u8 bytes[kMaxAnswerBytes];
};

// One write to a terminal, after a pause of gapMs (a split answer's parts).
struct WireChunk {
    LinkRole role;
    u32 gapMs;
    u32 count;
    u8 bytes[kWireChunkBytes];
};

// What the firmware sends goes out in the order it was sent, but not under
// the board lock: a split answer's pauses and a terminal that takes nothing
// would otherwise hold up every port access of the library. The chunks are
// queued under the board lock and written by one thread at a time under
// `writer`, which is taken before the board lock, never after.
struct Wire {
    pthread_mutex_t writer = PTHREAD_MUTEX_INITIALIZER;
    WireChunk chunk[kWireChunks] = {};
    u32 head = 0;                // under the board lock
    std::atomic<u32> queued{0};  // written under the board lock
};

// Recursive: a clock advance under the lock reaches chips that take it too.
struct Host {
    pthread_mutex_t lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
    int master[kRoles] = {-1, -1};
    int keep[kRoles] = {-1, -1};  // our own slave descriptor: the master never sees a hang-up
    int wake = -1;
    os::Handle thread = os::kNoHandle;
    std::atomic<bool> running{false};
    u8 lastAnswer[kRoles][kMcuFrameBytes] = {};
    bool haveLast[kRoles] = {};
    Pending pending[kMaxPending] = {};
    u32 pendingCount = 0;
    bool outboxLeft = false;  // the outbox waits for room in the wire queue
    Wire wire;
};

Host g_host;

u32 Index(LinkRole role) { return static_cast<u32>(role); }

i64 NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<i64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(u32 ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

void Wake() {
    if (g_host.wake >= 0) eventfd_write(g_host.wake, 1);
}

u32 WireRoom() { return kWireChunks - g_host.wire.queued.load(); }

// Queues bytes for the terminal of `role` behind those queued before, all or
// nothing; the caller holds the lock.
bool QueueWire(LinkRole role, const u8* bytes, u32 count, u32 gapMs = 0) {
    Wire& w = g_host.wire;
    if (g_host.master[Index(role)] < 0 || (count + kWireChunkBytes - 1) / kWireChunkBytes > WireRoom()) return false;
    for (u32 at = 0; at < count; at += kWireChunkBytes) {
        WireChunk& c = w.chunk[(w.head + w.queued.load()) % kWireChunks];
        c.role = role;
        c.gapMs = at == 0 ? gapMs : 0;
        c.count = count - at < kWireChunkBytes ? count - at : kWireChunkBytes;
        std::memcpy(c.bytes, bytes + at, c.count);
        w.queued.fetch_add(1);
    }
    return true;
}

// The next chunk and the terminal it goes to; false when none is queued.
bool PopWire(WireChunk* out, int* fd) {
    Wire& w = g_host.wire;
    LockLinks();
    const bool any = w.queued.load() != 0;
    if (any) {
        *out = w.chunk[w.head];
        *fd = g_host.master[Index(out->role)];
        w.head = (w.head + 1) % kWireChunks;
        w.queued.fetch_sub(1);
    }
    UnlockLinks();
    return any;
}

// A terminal that took nothing for kWriteStallMs loses what is queued for it.
void DropWire(LinkRole role) {
    Wire& w = g_host.wire;
    LockLinks();
    u32 kept = 0;
    const u32 n = w.queued.load();
    for (u32 i = 0; i < n; ++i) {
        const WireChunk& c = w.chunk[(w.head + i) % kWireChunks];
        if (c.role != role) w.chunk[(w.head + kept++) % kWireChunks] = c;
    }
    w.queued.store(kept);
    UnlockLinks();
}

// Writes to a master; false when it stalled and the rest was lost.
bool WriteAll(int fd, const u8* bytes, u32 count) {
    u32 done = 0;
    while (fd >= 0 && done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<u32>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        pollfd out{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&out, 1, kWriteStallMs) > 0) continue;
        return false;
    }
    return true;
}

// Writes the queued chunks out; called after the board lock is let go. A
// thread that finds another writing leaves its chunks to that one, which
// looks at the queue again after it lets go of the writer.
void FlushWire() {
    Wire& w = g_host.wire;
    while (w.queued.load() != 0) {
        if (pthread_mutex_trylock(&w.writer) != 0) return;
        WireChunk c;
        int fd = -1;
        while (PopWire(&c, &fd)) {
            if (c.gapMs) SleepMs(c.gapMs);
            if (!WriteAll(fd, c.bytes, c.count)) DropWire(c.role);
        }
        pthread_mutex_unlock(&w.writer);
    }
}

void QueueMaybeSplit(LinkRole role, const u8* bytes, u32 count) {
    const LinkFaultState& f = TheLinksUnlocked().faults[Index(role)];
    if (f.splitChunk == 0) {
        QueueWire(role, bytes, count);
        return;
    }
    for (u32 at = 0; at < count; at += f.splitChunk)
        QueueWire(role, bytes + at, count - at < f.splitChunk ? count - at : f.splitChunk, at > 0 ? f.splitGapMs : 0);
}

// Event frame, answer, event frame, written in two parts cut after
// burstSplitAt bytes.
void WriteBurst(LinkRole role, const u8* answer, const LinkFaultState& f) {
    constexpr u32 kBurstBytes = 3 * kMcuFrameBytes;
    u8 burst[kBurstBytes];
    BuildEventFrame(f.burstCode, f.burstPayload, burst);
    std::memcpy(burst + kMcuFrameBytes, answer, kMcuFrameBytes);
    BuildEventFrame(f.burstCode, f.burstPayload + 1, burst + 2 * kMcuFrameBytes);
    const u32 cut = f.burstSplitAt < kBurstBytes ? f.burstSplitAt : kBurstBytes;
    QueueWire(role, burst, cut);
    QueueWire(role, burst + cut, kBurstBytes - cut, cut > 0 && cut < kBurstBytes ? f.splitGapMs : 0);
}

void Enqueue(LinkRole role, const u8* bytes, u32 count, i64 dueMs) {
    if (g_host.pendingCount == kMaxPending || count > kMaxAnswerBytes) return;
    Pending& p = g_host.pending[g_host.pendingCount++];
    p.dueMs = dueMs;
    p.role = role;
    p.count = count;
    std::memcpy(p.bytes, bytes, count);
}

void FlushDue() {
    const i64 now = NowMs();
    u32 kept = 0;
    for (u32 i = 0; i < g_host.pendingCount; ++i) {
        Pending& p = g_host.pending[i];
        if (p.dueMs <= now) QueueMaybeSplit(p.role, p.bytes, p.count);
        else g_host.pending[kept++] = p;
    }
    g_host.pendingCount = kept;
}

// Sends now, or behind an answer that is being held back.
void SendInOrder(LinkRole role, const u8* bytes, u32 count) {
    if (g_host.pendingCount) {
        Enqueue(role, bytes, count, g_host.pending[g_host.pendingCount - 1].dueMs);
        return;
    }
    QueueMaybeSplit(role, bytes, count);
}

// An answer that the firmware sends, through the armed faults.
void SendAnswer(LinkRole role, const u8* bytes, u32 count) {
    LinkFaultState& f = TheLinksUnlocked().faults[Index(role)];
    if (f.passAnswers) {
        --f.passAnswers;
        SendInOrder(role, bytes, count);
        return;
    }
    if (f.dropAnswers) {
        --f.dropAnswers;
        return;
    }
    u8 out[kMaxAnswerBytes];
    if (count > sizeof out) return;
    std::memcpy(out, bytes, count);
    const bool frame = count == kMcuFrameBytes;
    if (frame && f.otherCode) {
        --f.otherCode;
        ++out[kCodeByte];
        out[kChecksumByte] = FirmwareChecksum(out);
    }
    if (frame && f.corruptChecksum) {
        --f.corruptChecksum;
        out[kChecksumByte] = static_cast<u8>(out[kChecksumByte] + 1);
    }
    if (f.noiseBefore) {
        --f.noiseBefore;
        u8 noise[kMaxNoiseBytes];
        const u32 n = f.noiseBytes < kMaxNoiseBytes ? f.noiseBytes : kMaxNoiseBytes;
        for (u32 i = 0; i < n; ++i) noise[i] = kNoise[i % sizeof kNoise];
        QueueWire(role, noise, n);
    }
    if (frame && f.staleBefore) {
        --f.staleBefore;
        u8 stale[kMcuFrameBytes];
        // The previous answer when it differs; otherwise one of another code.
        const bool usable = g_host.haveLast[Index(role)] && std::memcmp(g_host.lastAnswer[Index(role)], out, sizeof stale) != 0;
        std::memcpy(stale, usable ? g_host.lastAnswer[Index(role)] : out, sizeof stale);
        if (!usable) {
            stale[kCodeByte] ^= kStaleCodeFlip;
            stale[kChecksumByte] = FirmwareChecksum(stale);
        }
        QueueWire(role, stale, sizeof stale);
    }
    if (frame) {
        std::memcpy(g_host.lastAnswer[Index(role)], out, kMcuFrameBytes);
        g_host.haveLast[Index(role)] = true;
    }
    if (frame && f.burstAround) {
        --f.burstAround;
        WriteBurst(role, out, f);
        return;
    }
    if (f.delayAnswers) {
        --f.delayAnswers;
        Enqueue(role, out, count, NowMs() + f.delayMs);
        return;
    }
    SendInOrder(role, out, count);
}

void EmitMcu(void*, const u8* bytes, u32 count) { SendAnswer(LinkRole::Mcu, bytes, count); }

void Receive(LinkRole role, const u8* bytes, u32 count) {
    SerialLinkState& links = TheLinksUnlocked();
    if (role == LinkRole::Mcu) FirmwareReceive(links.mcu, bytes, count, ByteSink{EmitMcu, nullptr});
    else CanControllerReceive(links, bytes, count);
}

// ---- the CAN data link ---------------------------------------------------------
//
// Frames towards the library wait in the controller's queue and go out as
// the pseudo-terminal takes them: a full terminal holds them back (never
// dropped), and the host goes on serving the MCU link meanwhile. The load
// generator fills the queue at its rate, or as fast as it empties for a
// burst. With the link paced, both directions move no faster than the wire:
// baud / 11 bytes a second.

i64 NowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<i64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

using u64 = unsigned long long;
constexpr u64 kUsPerSecond = 1000000;
// What a paced direction may save up while the host thread does not run:
// about 100 ms of the wire at 921600 baud, so that a host thread kept from
// the processor for less than that does not slow the wire down.
constexpr u32 kPacedBurstBytes = 8192;
constexpr u32 kCanPumpRounds = 8;      // queue refills per loop turn, so the MCU link is served between
constexpr int kCanRetryMs = 10;        // a terminal that was full is tried again this soon at the latest
constexpr int kCanTickMs = 1;          // the clock of the load and of pacing

// Bytes a paced direction may move: credit in byte-microseconds.
struct Pace {
    i64 atUs;
    u64 credit;
};

struct CanPump {
    u32 bytesPerSecond;  // of the link's wire: baud / 11
    u32 loadEpoch;       // the load the clock below belongs to
    i64 loadBaseUs;
    u32 loadBaseSent;
    Pace in, out;        // from and to the library
    bool full;           // the last write found the terminal full
    bool more;           // the last turn stopped with frames still due
};

CanPump g_can{};

int CanFd() { return g_host.master[Index(LinkRole::Can)]; }

void ResetCanPump() {
    g_can = {};
    g_can.bytesPerSecond = LinkUart(LinkRole::Can).baud / kCanBitsPerCharacter;
}

// A paced direction earns credit as time passes, up to a small store.
void Earn(Pace& p, i64 nowUs) {
    constexpr u64 kMaxCredit = u64{kPacedBurstBytes} * kUsPerSecond;
    const u64 earned = static_cast<u64>(nowUs - p.atUs) * g_can.bytesPerSecond;
    p.atUs = nowUs;
    p.credit = p.credit + earned < kMaxCredit ? p.credit + earned : kMaxCredit;
}

// How many of `want` bytes a direction may move now (all when not paced).
u32 PaceAllows(Pace& p, u32 want, i64 nowUs) {
    if (!TheLinksUnlocked().can.paced) return want;
    Earn(p, nowUs);
    const u64 whole = p.credit / kUsPerSecond;
    const u32 n = whole < want ? static_cast<u32>(whole) : want;
    p.credit -= u64{n} * kUsPerSecond;
    return n;
}

// Load frames due by now: all the queue takes for a burst; at the rate
// since the load (or the controller) began otherwise.
u32 LoadDue(SerialLinkState& links, i64 nowUs) {
    CanLoadState& l = links.can.load;
    if (g_can.loadEpoch != l.epoch || !CanLoadActive(links)) {
        g_can.loadEpoch = l.epoch;
        g_can.loadBaseUs = nowUs;
        g_can.loadBaseSent = l.sent;
    }
    if (!CanLoadActive(links)) return 0;
    if (l.rate == 0) return ~0u;
    const u64 due = static_cast<u64>(nowUs - g_can.loadBaseUs) * l.rate / kUsPerSecond;
    const u64 sent = l.sent - g_can.loadBaseSent;
    return due > sent ? static_cast<u32>(due - sent) : 0;
}

// Writes queued bytes while the terminal takes them; true when it took all
// it was offered.
bool WriteQueued(CanControllerState& c, i64 nowUs) {
    while (CanQueuedBytes(c) > 0) {
        u32 span = 0;
        const u8* bytes = CanQueueSpan(c, &span);
        const u32 allowed = PaceAllows(g_can.out, span, nowUs);
        if (allowed == 0) return true;
        const ssize_t n = ::write(CanFd(), bytes, allowed);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            g_can.full = true;
            return false;
        }
        CanQueueTaken(c, static_cast<u32>(n));
        if (static_cast<u32>(n) < allowed) {
            g_can.full = true;
            return false;
        }
    }
    return true;
}

// One turn of the CAN data link: the load, then the queue to the terminal.
void PumpCan() {
    if (CanFd() < 0) return;
    SerialLinkState& links = TheLinksUnlocked();
    const i64 now = NowUs();
    g_can.full = g_can.more = false;
    for (u32 round = 0; round < kCanPumpRounds; ++round) {
        const u32 due = LoadDue(links, now);
        if (due) CanLoadFrames(links, due);
        if (!WriteQueued(links.can, now) || CanQueuedBytes(links.can) > 0 || !due) return;
    }
    g_can.more = true;
}

// What the host waits for on the CAN terminal.
short CanPollEvents() {
    short events = 0;
    const SerialLinkState& links = TheLinksUnlocked();
    if (links.can.paced) Earn(g_can.in, NowUs());
    if (!links.can.paced || g_can.in.credit >= kUsPerSecond) events |= POLLIN;
    if (CanQueuedBytes(links.can) > 0 && g_can.full) events |= POLLOUT;
    return events;
}

// The longest the host may sleep for the CAN data link (-1: no limit).
int CanTimeoutMs() {
    const SerialLinkState& links = TheLinksUnlocked();
    if (CanFd() < 0) return -1;
    if (g_can.more) return 0;
    if (g_can.full) return kCanRetryMs;
    if (links.can.paced || CanLoadActive(links)) return kCanTickMs;
    return -1;
}

// Bytes the host reads from the CAN terminal in one go.
u32 CanReadLimit(u32 chunk) { return PaceAllows(g_can.in, chunk, NowUs()); }

// Events the firmware raised go out behind the answers already sent; while
// an answer is held back they wait in the outbox.
void DrainOutbox() {
    u8 bytes[kMaxAnswerBytes];
    // Room for an event split into single bytes; the rest waits for the next turn.
    while (g_host.pendingCount == 0 && !(g_host.outboxLeft = WireRoom() < kMaxAnswerBytes)) {
        const u32 n = FirmwareTakeOutbox(TheLinksUnlocked().mcu, bytes, sizeof bytes);
        if (n == 0) return;
        QueueMaybeSplit(LinkRole::Mcu, bytes, n);
    }
}

int SoonerOf(int a, int b) { return a < 0 ? b : (b < 0 || a < b ? a : b); }

int NextTimeoutMs() {
    if (g_host.outboxLeft) return 1;  // the wire queue was full: another thread is writing it out
    if (g_host.pendingCount == 0) return -1;
    i64 due = g_host.pending[0].dueMs;
    for (u32 i = 1; i < g_host.pendingCount; ++i) due = g_host.pending[i].dueMs < due ? g_host.pending[i].dueMs : due;
    const i64 left = due - NowMs();
    return left > 0 ? static_cast<int>(left) : 0;
}

void HostLoop(void*) {
    while (g_host.running.load()) {
        pollfd fds[kRoles + 1];
        LinkRole roles[kRoles];
        u32 n = 0;
        LockLinks();
        for (u32 r = 0; r < kRoles; ++r) {
            if (g_host.master[r] < 0) continue;
            roles[n] = static_cast<LinkRole>(r);
            const bool can = roles[n] == LinkRole::Can;
            fds[n++] = pollfd{g_host.master[r], can ? CanPollEvents() : static_cast<short>(POLLIN), 0};
        }
        const int timeout = SoonerOf(SoonerOf(NextTimeoutMs(), CanTimeoutMs()), OnSharedMachine() ? kSharedPollMs : -1);
        UnlockLinks();
        fds[n] = pollfd{g_host.wake, POLLIN, 0};
        if (::poll(fds, n + 1, timeout) < 0 && errno != EINTR) break;
        if (fds[n].revents & POLLIN) {
            eventfd_t drained = 0;
            eventfd_read(g_host.wake, &drained);
        }
        LockLinks();
        for (u32 i = 0; i < n; ++i) {
            // A link taken away meanwhile is not read (its number may be reused).
            if ((fds[i].revents & POLLIN) == 0 || g_host.master[Index(roles[i])] != fds[i].fd) continue;
            u8 buffer[kReadChunk];
            const u32 want = roles[i] == LinkRole::Can ? CanReadLimit(sizeof buffer) : sizeof buffer;
            const ssize_t got = want ? ::read(fds[i].fd, buffer, want) : 0;
            if (got > 0) Receive(roles[i], buffer, static_cast<u32>(got));
        }
        PumpCan();
        FlushDue();
        DrainOutbox();
        UnlockLinks();
        FlushWire();
    }
}

bool OpenPty(LinkRole role, char* path) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return false;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, path, kLinkPathMax) != 0) {
        ::close(master);
        return false;
    }
    const int keep = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keep < 0) {
        ::close(master);
        return false;
    }
    // Raw from the start: no echo of what the library sends, no line editing.
    termios t{};
    if (tcgetattr(keep, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(keep, TCSANOW, &t);
    }
    g_host.master[Index(role)] = master;
    g_host.keep[Index(role)] = keep;
    return true;
}

// A pseudo-terminal for the link of `role` when the board has its UART (for
// the MCU: its UART or its USB port; both lead to this one terminal).
bool OpenBoardPty(LinkRole role, char* path) {
    const bool wired = LinkUart(role).attach != UartAttach::None ||
                       (role == LinkRole::Mcu && McuUsbPort().attach != UartAttach::None);
    return !wired || OpenPty(role, path);
}

void CloseLink(u32 r) {
    if (g_host.master[r] >= 0) ::close(g_host.master[r]);
    if (g_host.keep[r] >= 0) ::close(g_host.keep[r]);
    g_host.master[r] = g_host.keep[r] = -1;
}

// A forked child has no host thread: it must neither wait for one nor find
// the lock held by it. The links stay published (the child may talk to the
// parent's firmware through them) until the child sets up a board of its own.
void ForgetHostInChild() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&g_host.lock, &attr);
    pthread_mutexattr_destroy(&attr);
    pthread_mutex_init(&g_host.wire.writer, nullptr);
    if (!g_host.running.exchange(false)) return;
    g_host.thread = os::kNoHandle;
    for (u32 r = 0; r < kRoles; ++r) CloseLink(r);
    ::close(g_host.wake);
    g_host.wake = -1;
}

// Before the virtual library's own constructor, which loads the library on
// a board other processes may be using: its accesses hold the lock.
__attribute__((constructor(101))) void InstallStarter() {
    SetLinkHostStarter(StartBoardLinks);
    SetLinkLock(LockLinks, UnlockLinks);
    SetLinkKick(Wake);
    pthread_atfork(nullptr, nullptr, ForgetHostInChild);
}
// The last destructor of the library (the lowest priority runs last): the
// library's own unload, which may still exchange frames with the firmware,
// has run. No discovery may start the host again after this, or its thread
// would outlive the library's code.
__attribute__((destructor(101))) void StopAtExit() {
    SetLinkHostStarter(nullptr);
    StopBoardLinks();
}

}  // namespace

namespace {

// Opens the terminals, starts the host thread and publishes the paths.
bool StartHost() {
    SerialLinkState& links = TheLinks();
    if (!links.mcu.poweredOn) PowerOnFirmware(links.mcu);
    char mcuPath[kLinkPathMax] = "";
    char canPath[kLinkPathMax] = "";
    if (!OpenBoardPty(LinkRole::Mcu, mcuPath) || !OpenBoardPty(LinkRole::Can, canPath)) {
        for (u32 r = 0; r < kRoles; ++r) CloseLink(r);
        return false;
    }
    g_host.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    g_host.pendingCount = 0;
    g_host.wire.queued.store(0);
    g_host.outboxLeft = false;
    ResetCanPump();
    g_host.running.store(true);
    g_host.thread = os::ThreadStart(HostLoop, nullptr);
    if (!os::HandleIsOpen(g_host.thread)) {
        g_host.running.store(false);
        for (u32 r = 0; r < kRoles; ++r) CloseLink(r);
        return false;
    }
    PublishLinks(mcuPath, canPath);
    return true;
}

// On a shared machine one process runs the links for every process on it:
// the first that looks for them, or the next after that one is gone. The
// device paths it publishes are the machine's, as a UART's is the computer's.
bool StartSharedLinks() {
    LockLinks();
    bool up = g_host.running.load() || (TheLinks().paths.hostUp && LinksHostedElsewhere());
    if (!up && (up = StartHost())) SetLinksHostedHere(true);
    UnlockLinks();
    return up;
}

// This process writes to the terminals (on a private board also a forked
// child, whose writes find them closed).
bool WritesHere() { return g_host.running.load() || !OnSharedMachine(); }

bool LinksUp() { return (!OnSharedMachine() && TheLinks().paths.hostUp) || StartBoardLinks(); }

}  // namespace

void LockLinks() {
    if (OnSharedMachine()) LockMachine();
    else pthread_mutex_lock(&g_host.lock);
}

void UnlockLinks() {
    if (OnSharedMachine()) UnlockMachine();
    else pthread_mutex_unlock(&g_host.lock);
}

SerialLinkState& TheLinksUnlocked() { return TheLinks(); }

// Read under the lock: a port plugged back in publishes its links from
// another thread.
static bool LinksHostUp() {
    LockLinks();
    const bool up = TheLinks().paths.hostUp;
    UnlockLinks();
    return up;
}

bool StartBoardLinks() {
    if (OnSharedMachine()) return StartSharedLinks();
    if (LinksHostUp()) return true;
    if (g_host.running.load()) StopBoardLinks();  // the board was set up afresh: new links
    return StartHost();
}

void StopBoardLinks() {
    if (!g_host.running.exchange(false)) return;
    Wake();
    os::ThreadWait(g_host.thread, os::kInfinite);
    os::ThreadClose(g_host.thread);
    g_host.thread = os::kNoHandle;
    pthread_mutex_lock(&g_host.wire.writer);  // no other thread is writing to the terminals
    for (u32 r = 0; r < kRoles; ++r) CloseLink(r);
    pthread_mutex_unlock(&g_host.wire.writer);
    ::close(g_host.wake);
    g_host.wake = -1;
    LockLinks();
    TheLinks().paths.hostUp = false;
    if (OnSharedMachine()) SetLinksHostedHere(false);
    UnlockLinks();
}

// Queued behind what the firmware sent before; a full queue is written out
// first (lost, as on a terminal, when nothing makes room for kWriteStallMs).
bool QueueFromOutside(LinkRole role, const u8* bytes, u32 count) {
    const i64 giveUpMs = NowMs() + kWriteStallMs;
    for (;;) {
        LockLinks();
        const bool open = g_host.master[Index(role)] >= 0;
        const bool queued = open && QueueWire(role, bytes, count);
        UnlockLinks();
        FlushWire();
        if (queued || !open || NowMs() >= giveUpMs) return open;
        SleepMs(1);
    }
}

bool SendLinkBytes(LinkRole role, const u8* bytes, u32 count) {
    if (!LinksUp()) return false;
    if (WritesHere()) return QueueFromOutside(role, bytes, count);
    LockLinks();
    // The host process sends the outbox.
    const bool sent = role == LinkRole::Mcu && FirmwareRaise(TheLinksUnlocked().mcu, bytes, count);
    UnlockLinks();
    return sent;
}

bool EmitMcuEvent(u8 code, u32 payload) {
    u8 frame[kMcuFrameBytes];
    BuildEventFrame(code, payload, frame);
    return SendLinkBytes(LinkRole::Mcu, frame, sizeof frame);
}

bool EmitShortDiMessage(u8 value) {
    u8 message[kShortDiMessageBytes];
    BuildShortDiMessage(value, message);
    return SendLinkBytes(LinkRole::Mcu, message, sizeof message);
}

bool SendCanMessage(const CanWireMessage& message) {
    if (!LinksUp()) return false;
    LockLinks();
    SerialLinkState& links = TheLinksUnlocked();
    const bool link = WritesHere() ? CanFd() >= 0 : links.paths.path[Index(LinkRole::Can)][0] != '\0';
    const bool sent = link && CanQueueFrame(links.can, message);
    UnlockLinks();
    Wake();
    return sent;
}

void TakeLinkAway(LinkRole role) {
    pthread_mutex_lock(&g_host.wire.writer);  // not closed under a write in progress
    LockLinks();
    CloseLink(Index(role));
    WithdrawLink(role);
    UnlockLinks();
    pthread_mutex_unlock(&g_host.wire.writer);
    DropWire(role);
    Wake();
}

bool PlugLinkBack(LinkRole role) {
    LockLinks();
    char path[kLinkPathMax] = "";
    bool back = g_host.running.load() && g_host.master[Index(role)] < 0 && OpenBoardPty(role, path) && path[0];
    if (back) {
        const LinkPathState& p = TheLinksUnlocked().paths;
        char mcu[kLinkPathMax] = "", can[kLinkPathMax] = "";
        std::memcpy(mcu, role == LinkRole::Mcu ? path : p.path[Index(LinkRole::Mcu)], kLinkPathMax);
        std::memcpy(can, role == LinkRole::Can ? path : p.path[Index(LinkRole::Can)], kLinkPathMax);
        PublishLinks(mcu, can);
    }
    UnlockLinks();
    Wake();
    return back;
}

const char* LinkPath(LinkRole role) { return TheLinks().paths.path[Index(role)]; }

}  // namespace hx::sim
