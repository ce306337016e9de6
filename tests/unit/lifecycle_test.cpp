// Load and unload: the refusal without hardware access, a link speed set by
// the platform init, and the order of the unload steps.
#include <termios.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/library_lock.h"
#include "halvex32.h"
#include "recording_platform.h"
#include "tests/unit/mcu_fixture.h"
#include "wdt_trace.h"

namespace hx::test {
namespace {

using sim::AccessKind;

TEST_F(VirtualBoardTest, LoadIsRefusedWithoutHardwareAccessAndNoInitRuns) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-05"));  // its init (I1) would set many values
    sim::TheBoardState().faults.openFails = true;
    EXPECT_FALSE(Load());
    EXPECT_FALSE(IsLoaded());
    EXPECT_EQ(CurrentPlatform.load(), nullptr);
    EXPECT_EQ(CurrentCard.load(), nullptr);
    EXPECT_EQ(Config.poePortCount.load(), 0);
    EXPECT_EQ(serialPortMcu.portKind.load(), 0u);
    EXPECT_EQ(Config.dioModeHook.load(), nullptr);
    const std::vector<sim::Access> log = Log();
    ASSERT_EQ(log.size(), 1u) << "no detection access, no PCI scan";
    EXPECT_EQ(log[0].kind, AccessKind::Open);
    EXPECT_FALSE(log[0].ok);
}

// The platform init of Vexa-05 runs its CAN link at the MCU link's 115200
// baud instead of 921600; the line itself says which speed it was given.
TEST_F(McuLinkTest, Vexa05RunsItsCanLinkAt115200Baud) {
    LoadWithLinks("Vexa-05");
    ASSERT_TRUE(OpenMcuLink(serialPortCan));
    termios t{};
    ASSERT_EQ(tcgetattr(static_cast<int>(serialPortCan.comHandle.load() - 1), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
}

// ---- unload -------------------------------------------------------------------

TEST_F(VirtualBoardTest, UnloadStopsWhatWasStartedInOrderThenDeinitThenClosesAccess) {
    const struct {
        u32 can, dicos, wdt;
        bool deinit;
        std::vector<int> calls;
    } cases[] = {
        {1, 1, 1, true, {35, 14, 11, kDeinitMarker}},
        {0, 0, 1, true, {11, kDeinitMarker}},
        {0, 0, 0, false, {}},
    };
    static PlatformOps platform;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls.size());
        LoadModel("Trelo-15");
        platform = RecordingPlatform();
        if (!c.deinit) platform.init.deinit = nullptr;
        CurrentPlatform.store(&platform);
        CanStarted.store(c.can);
        DicosStarted.store(c.dicos);
        WdtRunning.store(c.wdt);
        Calls().clear();
        sim::ClearAccessLog(sim::TheBoardState());
        Unload();
        std::vector<int> ordinals;
        for (const RecordedCall& call : Calls()) {
            ordinals.push_back(call.ordinal);
            EXPECT_TRUE(call.accessOpen) << call.ordinal << " ran after HwClose";
        }
        EXPECT_EQ(ordinals, c.calls);
        if (c.can) {
            EXPECT_EQ(Calls()[0].args, (std::vector<std::uint64_t>{0})) << "CAN_Stop gets port 0";
        }
        const std::vector<sim::Access> log = Log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].kind, AccessKind::Close);
        EXPECT_FALSE(sim::TheBoard().AccessOpen());
    }
}

TEST_F(VirtualBoardTest, TheI1DeinitSwitchesTheOutputsOffThenGatesThem) {
    LoadModel("Trelo-05");
    sim::TheBoard().BusWritePhys(0xFED0C578, 0x44000100);
    for (u16 port : {0x601, 0x605, 0x604}) sim::TheBoard().BusWritePort(port, 0xFF, 1);
    sim::ClearAccessLog(sim::TheBoardState());
    Unload();
    EXPECT_EQ(Trace(Log()), "in601 out601=FC in605 out605=FC in604 out604=0F pin:FED0C578 pout:FED0C578=44000101");
    EXPECT_EQ(Log().back().kind, AccessKind::Close);
}

// LibraryLock is recursive for its owner and excludes every other thread
// until the owner has left it as often as it entered.
TEST_F(VirtualBoardTest, LibraryLockIsRecursiveAndExcludesOtherThreads) {
    LoadModel("Trelo-15");
    std::atomic<bool> entered{false};
    std::thread other;
    {
        LibraryLockGuard outer;
        {
            LibraryLockGuard inner;  // the owner enters again without blocking
            other = std::thread([&] {
                LibraryLockGuard theirs;
                entered.store(true);
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_FALSE(entered.load()) << "entered while held twice";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(entered.load()) << "entered while still held once";
    }
    other.join();
    EXPECT_TRUE(entered.load());
}

}  // namespace
}  // namespace hx::test
