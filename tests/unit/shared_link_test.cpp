// The MCU link shared between processes. This process is the virtual board:
// it runs the firmware on a pseudo-terminal. Forked processes load the
// library and carry out one operation per command; the one that holds the
// port serves the others through the named channel.
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstring>
#include <memory>

#include "mcu/shared_link.h"
#include "mcu_fixture.h"
#include "os/posix/named_objects_posix.h"

namespace hx::test {
namespace {

enum Op : u32 { kGo, kRead, kWrite, kDiPort, kDoLine, kBusy, kHoldClient, kHoldBlock };
constexpr u64 kTimedOut = u64{1} << 32;
constexpr u64 kNoAnswer = ~u64{0};
constexpr int kHangGuardMs = 20000;  // a process that answers nothing by then is stuck
const Frame7 kRequestAll = {0x23, 0x35, 0x00, 0x00, 0xFF, 0xFF, 0x56};
const Frame7 kWrite1 = {0x23, 0x37, 0x01, 0x00, 0x01, 0x00, 0x5C};

struct Command { Op op; u32 arg; char path[32]; };  // path: the MCU port, for kGo

void Report(int fd, u64 value) { (void)!write(fd, &value, sizeof value); }

// kBusy and the holds report when they hold, and then hold on.
u64 Carry(const Command& c, int fd) {
    u32 word = kAllInputsRequest;
    switch (c.op) {
        case kGo: return sim::PublishLinks(c.path, ""), kNoAnswer;
        case kRead: return ReadInputsShared(&word) ? word : kTimedOut;
        case kWrite: return WriteOutputsShared(c.arg), 0;
        case kDiPort: return DIReadPort();
        case kDoLine: return DOWriteLine(static_cast<u8>(c.arg), 1), 0;
        case kBusy: return os::LibraryLockEnter(), Report(fd, 0), os::SleepMs(c.arg), os::LibraryLockLeave(), kNoAnswer;
        default:
            OpenSharedLinkObjects();
            os::NamedMutexLock(c.op == kHoldClient ? sharedLink.clientMutex.load() : sharedLink.blockMutex.load());
            Report(fd, 0);
            pause();
            return kNoAnswer;
    }
}

// A process with the library loaded (inherited from this one), forked while
// this process has no other thread. It carries out one command at a time,
// and unloads the library and ends when the test closes its end.
class LibraryProcess {
public:
    // `earlier`: the processes started before, whose ends it must not hold.
    explicit LibraryProcess(const std::vector<std::unique_ptr<LibraryProcess>>& earlier) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
        if ((pid_ = fork()) == 0) {
            for (const auto& p : earlier) close(p->fd_);
            close(fds[0]);
            for (Command c; read(fds[1], &c, sizeof c) == sizeof c;) {
                if (const u64 r = Carry(c, fds[1]); r != kNoAnswer) Report(fds[1], r);
            }
            ProcessDetach();
            _exit(0);
        }
        close(fds[1]);
        fd_ = fds[0];
    }
    ~LibraryProcess() {
        close(fd_);
        int status = -1;
        for (int ms = 0; pid_ > 0 && ms < kHangGuardMs && waitpid(pid_, &status, WNOHANG) == 0; ++ms) usleep(1000);
        if (pid_ > 0 && status != 0) ADD_FAILURE() << "process " << pid_ << " did not unload and end: " << status;
        if (pid_ > 0 && status == -1) Kill();
    }
    void Send(Op op, u32 arg = 0, const char* path = "") {
        Command c{op, arg, {}};
        std::strncpy(c.path, path, sizeof c.path - 1);
        ASSERT_EQ(write(fd_, &c, sizeof c), static_cast<ssize_t>(sizeof c));
    }
    u64 Result() {
        pollfd p{fd_, POLLIN, 0};
        u64 value = kNoAnswer;
        if (poll(&p, 1, kHangGuardMs) == 1 && read(fd_, &value, sizeof value) == sizeof value) return value;
        ADD_FAILURE() << "process " << pid_ << " answered nothing";
        return kNoAnswer;
    }
    u64 Call(Op op, u32 arg = 0) { return Send(op, arg), Result(); }
    void Kill() { kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0), pid_ = -1; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

class SharedLinkTest : public McuLinkTest {
protected:
    void TearDown() override {
        procs_.clear();
        McuLinkTest::TearDown();
    }
    // `count` library processes on a Trelo-11 board (MCU DIO with the sharing
    // server); then the firmware's links start and the processes learn the
    // port. `firstOwns`: each reads once, the first as the owner.
    void Start(int count, bool firstOwns = true) {
        ASSERT_TRUE(sim::SetUpBoard("Trelo-11"));
        ASSERT_TRUE(Load());
        for (int i = 0; i < count; ++i) procs_.push_back(std::make_unique<LibraryProcess>(procs_));
        ASSERT_TRUE(sim::StartBoardLinks());
        for (auto& p : procs_) p->Send(kGo, 0, sim::LinkPath(sim::LinkRole::Mcu));
        SetInputs(kActive);
        // The first read makes process 0 the owner; the others then have the
        // channel open too.
        for (int i = 0; firstOwns && i < count; ++i) EXPECT_EQ(P(i).Call(kRead), kInputWord);
        from_ = FramesReceived();
    }
    LibraryProcess& P(int i) { return *procs_[i]; }
    static void SetInputs(u16 active) { Edit([&](sim::SerialLinkState& s) { s.mcu.diActive = active; }); }
    static void DelayAnswers(u32 count, u32 ms) { Arm([&](auto& f) { f.delayAnswers = count, f.delayMs = ms; }); }

    static constexpr u16 kActive = 0x1234;
    static constexpr u64 kInputWord = 0xFFFFEDCB;  // all lines asked for, 0 = active on the wire
    std::vector<std::unique_ptr<LibraryProcess>> procs_;
    u32 from_ = 0;
};

// While the owner carries out one client's write for a slow MCU, two more
// clients come at once: each waits for its turn, none overwrites another's
// request.
TEST_F(SharedLinkTest, ClientsThatComeAtOnceTakeTurns) {
    Start(4);
    DelayAnswers(3, 250);
    P(1).Send(kWrite, 0x00010001);
    ASSERT_TRUE(WaitForFrames(from_ + 1));
    P(2).Send(kWrite, 0x00020002);
    P(3).Send(kWrite, 0x00040004);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(P(i).Result(), 0u);
    EXPECT_TRUE(WaitUntil([](const sim::SerialLinkState& s) { return s.mcu.doOn == 7; })) << "every write carried out";
}

// A client's DIO exports go through the owner; once the owner is killed, the
// client takes the port and talks to the MCU itself.
TEST_F(SharedLinkTest, AClientsDioGoesThroughTheOwnerUntilItOwnsThePort) {
    Start(2);
    for (int owner : {0, 1}) {
        EXPECT_EQ(P(1).Call(kDoLine, 0), 0u);
        EXPECT_EQ(P(1).Call(kDiPort), kActive);
        EXPECT_EQ(FramesSince(from_), (std::vector<Frame7>{kWrite1, kRequestAll})) << owner;
        if (owner == 0) P(0).Kill(), from_ = FramesReceived();
    }
}

// The port is held by a process that serves nobody (this one).
TEST_F(SharedLinkTest, AClientWithoutServerTimesOutAndItsWriteIsLost) {
    Start(1, false);
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(P(0).Call(kRead), kTimedOut);
    P(0).Call(kWrite, 0x00010001);
    EXPECT_EQ(FramesReceived(), from_);
}

// A client whose write timed out behind a busy owner sends a read: the late
// reply to the write is not its answer.
TEST_F(SharedLinkTest, ALateReplyIsNotTakenForTheNextRequest) {
    Start(2);
    EXPECT_EQ(P(0).Call(kBusy, 1500), 0u);
    EXPECT_EQ(P(1).Call(kWrite, 0x00010001), 0u);
    SetInputs(0x0005);
    EXPECT_EQ(P(1).Call(kRead), 0xFFFFFFFAu);
    EXPECT_EQ(FramesSince(from_), (std::vector<Frame7>{kWrite1, kRequestAll}));
}

// kill -9 of the owner (process 0) or a client (1) while it holds a lock or
// while the owner carries out the client's read; the others go on, and after
// the owner the next process to open the port owns it.
struct KillCase { int victim; Op hold; };  // hold kRead: killed while the client's read is at the MCU
std::ostream& operator<<(std::ostream& o, const KillCase& k) {
    const char* held = k.hold == kRead ? "mid-request" : k.hold == kHoldClient ? "with client lock" : "with block lock";
    return o << (k.victim ? "client " : "owner ") << held;
}

class SharedLinkKillTest : public SharedLinkTest, public ::testing::WithParamInterface<KillCase> {};

TEST_P(SharedLinkKillTest, TheOthersGoOn) {
    const KillCase k = GetParam();
    Start(3);
    if (k.hold == kRead) {
        // A dead owner's answer must leave before a client takes the port
        // (it looks every kOwnerProbeMs), or it waits in the new owner's input.
        DelayAnswers(1, k.victim == 0 ? 30 : 400);
        P(1).Send(kRead);
        ASSERT_TRUE(WaitForFrames(from_ + 1));
    } else {
        EXPECT_EQ(P(k.victim).Call(k.hold), 0u);
    }
    P(k.victim).Kill();
    if (k.hold == kRead && k.victim == 0) {
        EXPECT_EQ(P(1).Result(), kInputWord) << "the client takes the dead owner's port and asks the MCU itself";
    }
    EXPECT_EQ(P(2).Call(kRead), kInputWord);
    EXPECT_EQ(P(1 - k.victim).Call(kRead), kInputWord);
    from_ = FramesReceived();
    EXPECT_EQ(P(k.victim == 0 ? 1 : 2).Call(kWrite, 0x00010001), 0u);
    EXPECT_EQ(FramesSince(from_), std::vector<Frame7>{kWrite1});
}

INSTANTIATE_TEST_SUITE_P(Kill9, SharedLinkKillTest,
                         ::testing::Values(KillCase{0, kHoldClient}, KillCase{0, kHoldBlock}, KillCase{0, kRead},
                                           KillCase{1, kHoldClient}, KillCase{1, kHoldBlock}, KillCase{1, kRead}));

}  // namespace
}  // namespace hx::test
