// The serial transport on the virtual board's pseudo-terminals: opening (and
// not reopening) a link, exclusive ownership across processes, reads that end
// on a stop, releasing the events of a link without a thread, and the CAN
// link's outgoing 16-byte frames.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "halvex32.h"
#include "core/library_lock.h"
#include "core/port_kind.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Transport = McuLinkTest;

u32 Lookups() {
    u32 n = 0;
    sim::EditLinks([&](sim::SerialLinkState& s) { n = s.paths.lookups; });
    return n;
}

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
    const u32 lookups = Lookups();
    ExpectRawLine(port, B115200);
    serialPortMcu.portKind.store(kPortUsbFtdi6015);
    serialPortMcu.baudRate.store(kCanLinkBaud);
    EXPECT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.comHandle.load(), port);
    EXPECT_EQ(Lookups(), lookups);
    ExpectRawLine(port, B115200);
}

TEST_F(Transport, PortKindZeroIsSearchedAs2E8h) {
    LoadWithLinks();
    serialPortMcu.portKind.store(0);
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.portKind.load(), kPortUart2E8);
}

TEST_F(Transport, AFailedOpenLeavesTheInvalidHandleAndTheNextCallSearchesAgain) {
    LoadWithLinks();
    const os::Handle holder = os::SerialOpen(sim::LinkPath(sim::LinkRole::Mcu));
    ASSERT_TRUE(os::HandleIsOpen(holder));
    const u32 lookups = Lookups();
    EXPECT_FALSE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kInvalidHandle);
    os::CloseHandle(holder);
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(Lookups(), lookups + 2);
    u32 version = 0;
    EXPECT_TRUE(McuQuery(0xFF, &version));
}

TEST_F(Transport, AnUnknownKindIsNotFoundAndNothingIsOpened) {
    LoadWithLinks();
    serialPortMcu.portKind.store(0x12345678);
    EXPECT_FALSE(OpenMcuLink(serialPortMcu));
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
}

TEST_F(Transport, ThePortIsExclusiveAcrossProcessesUntilClosed) {
    LoadAndOpen();
    const char* path = sim::LinkPath(sim::LinkRole::Mcu);
    EXPECT_FALSE(ChildCanOpen(path));
    CloseLinkPort(serialPortMcu);
    EXPECT_TRUE(ChildCanOpen(path));
}

// A pseudo-terminal refuses even parity after the first request; reopening
// the link must still work, at the right speed.
TEST_F(Transport, ALinkReopensOnTheSameTerminal) {
    LoadAndOpen();
    for (int i = 0; i < 2; ++i) {
        CloseLinkPort(serialPortMcu);
        ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    }
    u32 version = 0;
    EXPECT_TRUE(McuQuery(0xFF, &version));
}

TEST_F(Transport, OpeningPurgesWhatWasWaitingOnTheLine) {
    LoadWithLinks();
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    CloseLinkPort(serialPortMcu);
    Inject(MakeFrame(0xFF, 0x99));  // arrives while the link is closed
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    u32 version = 0;
    ASSERT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, sim::kFirmwareVersion);
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
    u32 version = 0;
    EXPECT_TRUE(McuQuery(0xFF, &version));  // events are made again on demand
}

// Incoming CAN frames: the CAN receive thread's tests.
TEST_F(Transport, CanFramesGoOutOnTheCanLink) {
    LoadWithLinks();
    ASSERT_TRUE(OpenMcuLink(serialPortCan));
    ExpectRawLine(serialPortCan.comHandle.load(), B921600);
    CanMessage out{0x18FF0102, 0x0004, 0, 3, {0xDE, 0xAD, 0xBE, 0, 0, 0, 0, 0}};
    u8 frame[kCanFrameSize];
    EncodeCanFrame(out, frame);
    u32 written = 0;
    ASSERT_TRUE(LinkWrite(serialPortCan, frame, kCanFrameSize, &written));
    EXPECT_EQ(written, kCanFrameSize);

    ASSERT_TRUE(WaitUntil([](const sim::SerialLinkState& s) { return s.can.framesReceived == 1; }));
    sim::CanWireMessage seen{};
    Edit([&](sim::SerialLinkState& s) { seen = s.can.log[0]; });
    EXPECT_EQ(seen.id, out.id);
    EXPECT_EQ(seen.flags, out.flags);
    EXPECT_EQ(seen.length, 3);
    EXPECT_EQ(0, std::memcmp(seen.data, out.data, 8));
}

TEST_F(Transport, EventFramesAndThreeByteMessagesArriveAsSent) {
    LoadAndOpen();
    ASSERT_TRUE(sim::EmitMcuEvent(0x30, 0x0105));
    ASSERT_TRUE(sim::EmitShortDiMessage(0x05));
    u8 bytes[kFrameSize + 3];
    ASSERT_EQ(ReadAll(serialPortMcu, bytes, sizeof bytes), sizeof bytes);
    const u8 expected[] = {0x40, 0x30, 0x05, 0x01, 0x00, 0x00, 0x76, 0x40, 0x05, 0x45};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
}

TEST_F(Transport, StopDioAndUnloadGiveThePortUp) {
    LoadAndOpen();
    const char* path = sim::LinkPath(sim::LinkRole::Mcu);
    EXPECT_TRUE(StopDIO());
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
    EXPECT_TRUE(ChildCanOpen(path));
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    Unload();
    EXPECT_TRUE(ChildCanOpen(path));
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

TEST_F(Transport, CloseMcuLinksClosesBothPorts) {
    LoadAndOpen();
    ASSERT_TRUE(OpenMcuLink(serialPortCan));
    const char* path = sim::LinkPath(sim::LinkRole::Mcu);
    CloseMcuLinks();
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
    EXPECT_EQ(serialPortCan.comHandle.load(), os::kNoHandle);
    EXPECT_TRUE(ChildCanOpen(path));
}

}  // namespace
}  // namespace hx::test
