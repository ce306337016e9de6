// The serial transport on the virtual board's pseudo-terminals: opening (and
// not reopening) a link, exclusive ownership across processes, reads that end
// on a stop, and releasing the events of a link without a thread.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "halvex32.h"
#include "core/library_lock.h"
#include "core/port_kind.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Transport = McuLinkTest;

// The line as the link set it up, as far as a pseudo-terminal keeps it (it
// forces 8 data bits and drops parity by itself).
void ExpectRawLine(os::Handle port, speed_t speed) {
    termios t{};
    ASSERT_EQ(tcgetattr(static_cast<int>(port - 1), &t), 0);
    EXPECT_TRUE(cfgetispeed(&t) == speed && cfgetospeed(&t) == speed);
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);              // one stop bit, no RTS/CTS
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);  // no XON/XOFF, bytes untouched
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

// Opens (and closes) the port in a child process; true when it could.
bool ChildCanOpen(const char* path) {
    const pid_t child = fork();
    if (child == 0) {
        const os::Handle h = os::SerialOpen(path);
        const bool opened = os::HandleIsOpen(h);
        os::CloseHandle(h);  // an exclusive flag left behind would bar the parent's next open
        _exit(opened ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Transport, AnOpenLinkIsNeverSearchedOrReconfiguredAgain) {
    LoadAndOpen();
    const os::Handle port = serialPortMcu.comHandle.load();
    const u32 lookups = LinkLookups();
    ExpectRawLine(port, B115200);
    serialPortMcu.portKind.store(kPortUsbFtdi6015);
    serialPortMcu.baudRate.store(kCanLinkBaud);
    EXPECT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.comHandle.load(), port);
    EXPECT_EQ(LinkLookups(), lookups);
    ExpectRawLine(port, B115200);
}

// A kind no board has is not found and opens nothing; kind 0 is searched as
// the UART at 2E8h.
TEST_F(Transport, PortKindZeroIsSearchedAs2E8hAndAnUnknownKindIsNotFound) {
    LoadWithLinks();
    for (const auto& [kind, opens, after] : {std::tuple<u32, bool, u32>{0x12345678, false, 0x12345678}, {0, true, kPortUart2E8}}) {
        serialPortMcu.portKind.store(kind);
        EXPECT_EQ(OpenMcuLink(serialPortMcu), opens) << kind;
        EXPECT_EQ(serialPortMcu.portKind.load(), after) << kind;
        EXPECT_EQ(serialPortMcu.comHandle.load() == os::kNoHandle, !opens) << kind;
    }
}

TEST_F(Transport, AFailedOpenLeavesTheInvalidHandleAndTheNextCallSearchesAgain) {
    LoadWithLinks();
    const os::Handle holder = os::SerialOpen(sim::LinkPath(sim::LinkRole::Mcu));
    ASSERT_TRUE(os::HandleIsOpen(holder));
    const u32 lookups = LinkLookups();
    EXPECT_FALSE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kInvalidHandle);
    os::CloseHandle(holder);
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(LinkLookups(), lookups + 2);
    EXPECT_TRUE(VersionAnswered());
}

// No other process opens the port while the library has it; each way of
// closing gives it up, and unload and CloseMcuLinks the CAN link's too.
TEST_F(Transport, ThePortIsExclusiveAcrossProcessesUntilClosed) {
    const struct { const char* name; std::function<void()> close; bool closesCan; } rows[] = {
        {"CloseLinkPort", [] { CloseLinkPort(serialPortMcu); }, false},
        {"StopDIO", [] { EXPECT_TRUE(StopDIO()); }, false},
        {"CloseMcuLinks", CloseMcuLinks, true},
        {"unload", [this] { Unload(); }, true},
    };
    for (const auto& row : rows) {
        Reload("Trelo-11");
        ASSERT_TRUE(OpenMcuLink(serialPortMcu) && OpenMcuLink(serialPortCan)) << row.name;
        ExpectRawLine(serialPortCan.comHandle.load(), B921600);
        const char* path = sim::LinkPath(sim::LinkRole::Mcu);
        EXPECT_FALSE(ChildCanOpen(path)) << row.name;
        row.close();
        EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle) << row.name;
        EXPECT_EQ(serialPortCan.comHandle.load() == os::kNoHandle, row.closesCan) << row.name;
        EXPECT_TRUE(ChildCanOpen(path)) << row.name;
    }
}

// A pseudo-terminal refuses even parity after the first request; reopening
// the link must still work, at the right speed, and purges what was waiting.
TEST_F(Transport, ALinkReopensOnTheSameTerminalAndPurgesTheLine) {
    LoadAndOpen();
    for (int i = 0; i < 2; ++i) {
        CloseLinkPort(serialPortMcu);
        Inject(MakeFrame(0xFF, 0x99));  // arrives while the link is closed
        ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    }
    ExpectRawLine(serialPortMcu.comHandle.load(), B115200);
    EXPECT_TRUE(VersionAnswered());
}

// A read of a frame ends with all of it or with nothing, as a COM port read
// does: bytes already waiting complete it at once, stop or not; a stop or the
// time-out drops what came of the frame so far.
TEST_F(Transport, AReadEndsWithTheWholeFrameOrWithNoBytes) {
    const struct { u32 waiting; bool stop; u32 timeoutMs; } rows[] = {
        {kFrameSize, true, os::kInfinite}, {4, true, os::kInfinite}, {4, false, 50}, {0, false, 50}};
    LoadAndOpen();
    ASSERT_TRUE(PrepareLinkEvents(serialPortMcu));
    const Frame7 frame = MakeFrame(0xFF, 0x01020304);
    for (const auto& row : rows) {
        os::SerialPurge(serialPortMcu.comHandle.load(), false);
        (row.stop ? os::EventSet : os::EventReset)(serialPortMcu.stopEvent.load());
        ASSERT_TRUE(sim::SendLinkBytes(sim::LinkRole::Mcu, frame.data(), row.waiting));
        Frame7 buffer{};
        u32 got = 0;
        const bool whole = row.waiting == kFrameSize;
        EXPECT_EQ(LinkRead(serialPortMcu, buffer.data(), kFrameSize, &got, row.timeoutMs), whole) << row.waiting;
        EXPECT_EQ(got, whole ? kFrameSize : 0u) << row.waiting;
    }
}

TEST_F(Transport, StopLinkReceiverWithoutAThreadReleasesTheEventsAndKeepsThePort) {
    LoadAndOpen();
    ASSERT_TRUE(PrepareLinkEvents(serialPortMcu));
    const os::Handle port = serialPortMcu.comHandle.load();
    StopLinkReceiver(serialPortMcu);
    EXPECT_EQ(serialPortMcu.stopEvent.load(), os::kNoHandle);
    EXPECT_EQ(serialPortMcu.ioEvent.load(), os::kNoHandle);
    EXPECT_EQ(serialPortMcu.comHandle.load(), port);
    EXPECT_TRUE(VersionAnswered());  // events are made again on demand
}

// StopDIO closes the port only between exchanges, so that no write or read
// goes to a closed or reused descriptor: it waits for an exchange under the
// library lock, and for a read of a caller that takes no lock (C2, T2).
TEST_F(Transport, StopDioWaitsForTheExchangeInProgress) {
    LoadAndOpen();
    std::thread stopper, reader;
    {
        const LibraryLockGuard exchange;
        stopper = std::thread([] { StopDIO(); });
        usleep(50000);  // time enough for an unlocked StopDIO to close it
        EXPECT_TRUE(os::HandleIsOpen(serialPortMcu.comHandle.load()));
    }
    stopper.join();
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);

    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    const int fd2 = static_cast<int>(serialPortMcu.comHandle.load() - 1);
    reader = std::thread([] {
        u8 bytes[kFrameSize];
        u32 got = 0;
        LinkRead(serialPortMcu, bytes, kFrameSize, &got, 400);  // nothing comes
    });
    usleep(50000);
    stopper = std::thread([] { StopDIO(); });
    usleep(50000);
    EXPECT_NE(fcntl(fd2, F_GETFD), -1);  // still the reader's
    reader.join(), stopper.join();
    EXPECT_EQ(fcntl(fd2, F_GETFD), -1);
}

}  // namespace
}  // namespace hx::test
