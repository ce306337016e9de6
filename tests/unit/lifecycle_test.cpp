// Load and unload: the refusal without hardware access, the per-platform
// init values, and the order of the unload steps.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dio/routing.h"
#include "frame/catalog.h"
#include "core/library_lock.h"
#include "frame/platform_init.h"
#include "halvex32.h"
#include "mcu/link.h"
#include "core/port_kind.h"
#include "recording_platform.h"
#include "virtual_fixture.h"

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
    // Every export answers its default.
    EXPECT_EQ(SetWDT(10, 1), 0);
    EXPECT_EQ(GetStatusPoEPort(1), 0);
    EXPECT_EQ(RegisterCallbackDICOS(nullptr), 1);
    EXPECT_EQ(StopDIO(), 1);
}

TEST_F(VirtualBoardTest, LinkPresetsAreSetAtAttachWhateverThePlatform) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-15"));  // no init
    serialPortMcu.baudRate.store(1);
    serialPortCan.portKind.store(0x1234);
    ASSERT_TRUE(Load());
    EXPECT_EQ(serialPortMcu.baudRate.load(), 115200u);
    EXPECT_EQ(serialPortCan.baudRate.load(), 921600u);
    EXPECT_EQ(serialPortCan.portKind.load(), 0u);
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
}

struct InitCase {
    const char* model;
    u8 poePorts;
    u32 mcuKind;
    RxThreadKind mcuRx;
    u32 canKind;
    RxThreadKind canRx;
    bool dt2Thread;
    bool sharing;
    const Dt2SourcePair* map;
    VoidFn dioHook;
    VoidFn triggerHook;
    u32 dioShared;  // the value after load, from 7 preset before load
    u32 mcuBaud;
    u32 canBaud;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.model; }

class InitValuesTest : public VirtualBoardTest, public ::testing::WithParamInterface<InitCase> {};

// "-" in the init table keeps the load-time value: 0, none, the preset baud
// rates, and whatever the shared flag held (7 here).
TEST_P(InitValuesTest, InitStoresItsValuesAndLeavesTheRest) {
    const InitCase& c = GetParam();
    ASSERT_TRUE(sim::SetUpBoard(c.model));
    UseBackend(sim::VirtualBackend());
    BindSharedWords(os::AttachSharedWords());
    Shared().dioSharedFlag.store(7);
    ASSERT_TRUE(Load());
    EXPECT_STREQ(CurrentKey(), c.model);
    EXPECT_EQ(Config.poePortCount.load(), c.poePorts);
    EXPECT_EQ(serialPortMcu.portKind.load(), c.mcuKind);
    EXPECT_EQ(serialPortMcu.rxThreadProc.load(), c.mcuRx);
    EXPECT_EQ(serialPortCan.portKind.load(), c.canKind);
    EXPECT_EQ(serialPortCan.rxThreadProc.load(), c.canRx);
    EXPECT_EQ(Config.dt2EventThread.load(), c.dt2Thread);
    EXPECT_EQ(Config.sharingServer.load(), c.sharing);
    EXPECT_EQ(Config.dt2SourceMap.load(), c.map);
    EXPECT_EQ(Config.dioModeHook.load(), c.dioHook);
    EXPECT_EQ(Config.triggerModeHook.load(), c.triggerHook);
    EXPECT_EQ(Shared().dioSharedFlag.load(), c.dioShared);
    EXPECT_EQ(serialPortMcu.baudRate.load(), c.mcuBaud);
    EXPECT_EQ(serialPortCan.baudRate.load(), c.canBaud);
}

constexpr RxThreadKind kNone = RxThreadKind::None;
constexpr RxThreadKind k8 = RxThreadKind::McuEvents8;
constexpr RxThreadKind k16 = RxThreadKind::McuEvents16;
constexpr RxThreadKind kCan = RxThreadKind::CanReceiver;

INSTANTIATE_TEST_SUITE_P(
    Inits, InitValuesTest,
    ::testing::Values(
        InitCase{"Trelo-05", 2, kPortUart368, k8, kPortHsuart0F0A, kCan, true, false, kDt2MapA, RouteDioByPads,
                 RouteTriggerByPads, 7, 115200, 921600},
        InitCase{"Trelo-07", 4, 0, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 7, 115200, 921600},
        InitCase{"Trelo-11", 8, kPortUart2E8, k16, kPortUsbFtdi6015, kCan, true, true, kDt2MapB, nullptr, nullptr, 0,
                 115200, 921600},
        InitCase{"Qantis-02", 0, kPortUart2E8, k16, 0, kNone, true, true, kDt2MapBForI4, nullptr, nullptr, 0, 115200,
                 921600},
        InitCase{"Trelo-13", 0, 0, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 1, 115200, 921600},
        InitCase{"Trelo-16", 8, kPortUart368, k16, kPortUart2E0, kCan, true, true, kDt2MapB, nullptr, nullptr, 0,
                 115200, 921600},
        InitCase{"Trelo-17", 8, kPortUart368, k16, kPortUsbFtdi6015, kCan, true, true, kDt2MapB, nullptr, nullptr, 0,
                 115200, 921600},
        InitCase{"Trelo-18", 0, 0, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 1, 115200, 921600},
        InitCase{"Ondra-01", 0, kPortHsuart0F0A, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 7, 115200,
                 921600},
        InitCase{"Vexa-02", 0, kPortUart2E8, k16, 0, kNone, false, true, nullptr, nullptr, nullptr, 7, 115200, 921600},
        InitCase{"Vexa-03", 4, 0, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 7, 115200, 921600},
        InitCase{"Vexa-05", 2, kPortUart368, k16, kPortUart2E0, kCan, false, true, nullptr, nullptr, nullptr, 7,
                 115200, 115200},
        InitCase{"Vexa-06", 4, kPortUart368, k16, kPortUart2E0, kCan, false, true, nullptr, nullptr, nullptr, 7,
                 115200, 115200},
        InitCase{"Trelo-01", 0, 0, kNone, 0, kNone, false, false, nullptr, nullptr, nullptr, 7, 115200, 921600}),
    [](const auto& info) {
        std::string name = info.param.model;
        for (char& ch : name) {
            if (ch == '-' || ch == '+') ch = '_';
        }
        return name;
    });

TEST(Dt2SourceMaps, EndWithAZeroPairAndHaveTheirListedLength) {
    auto length = [](const Dt2SourcePair* map) {
        int n = 0;
        while (map[n].code != 0 || map[n].mask != 0) ++n;
        return n;
    };
    EXPECT_EQ(length(kDt2MapA), 22);
    EXPECT_EQ(length(kDt2MapB), 29);
    EXPECT_EQ(length(kDt2MapBForI4), 29);
    EXPECT_NE(kDt2MapB, kDt2MapBForI4) << "the I4 platform has its own table";
}

// ---- unload -------------------------------------------------------------------

class UnloadTest : public VirtualBoardTest {
protected:
    void SetUp() override {
        VirtualBoardTest::SetUp();
        Calls().clear();
        LoadModel("Trelo-15");
        platform_ = FullRecordingPlatform();
        CurrentPlatform.store(&platform_);
    }
    std::vector<int> Ordinals() const {
        std::vector<int> out;
        for (const RecordedCall& c : Calls()) out.push_back(c.ordinal);
        return out;
    }
    PlatformOps platform_{};
};

TEST_F(UnloadTest, StopsWhatWasStartedInOrderThenDeinitThenClosesAccess) {
    CanStarted.store(1);
    DicosStarted.store(1);
    WdtRunning.store(1);
    Unload();
    EXPECT_EQ(Ordinals(), (std::vector<int>{35, 14, 11, kDeinitMarker}));
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls()[0].args, (std::vector<std::uint64_t>{0})) << "CAN_Stop gets port 0";
    for (const RecordedCall& c : Calls()) EXPECT_TRUE(c.accessOpen) << c.ordinal << " ran after HwClose";
    const std::vector<sim::Access> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, AccessKind::Close);
    EXPECT_FALSE(sim::TheBoardState().accessOpen);
}

TEST_F(UnloadTest, OnlyTheStartedFeaturesAreStopped) {
    WdtRunning.store(1);
    Unload();
    EXPECT_EQ(Ordinals(), (std::vector<int>{11, kDeinitMarker}));
}

TEST_F(UnloadTest, WithoutDeinitAndNothingStartedOnlyAccessIsClosed) {
    platform_.init.deinit = nullptr;
    sim::ClearAccessLog(sim::TheBoardState());
    Unload();
    EXPECT_TRUE(Calls().empty());
    const std::vector<sim::Access> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, AccessKind::Close);
}

TEST_F(VirtualBoardTest, TheI1DeinitSwitchesTheOutputsOffThenGatesThem) {
    LoadModel("Trelo-05");
    sim::TheBoard().BusWritePhys(0xFED0C578, 0x44000100);
    sim::ClearAccessLog(sim::TheBoardState());
    Unload();
    struct Step {
        AccessKind kind;
        u32 address;
        u32 value;
    };
    // Nothing drives the GPIO block on this board, so its bytes read FFh.
    const Step expected[] = {
        {AccessKind::PortRead, 0x601, 0xFF},        {AccessKind::PortWrite, 0x601, 0xFC},
        {AccessKind::PortRead, 0x605, 0xFF},        {AccessKind::PortWrite, 0x605, 0xFC},
        {AccessKind::PortRead, 0x604, 0xFF},        {AccessKind::PortWrite, 0x604, 0x0F},
        {AccessKind::PhysRead, 0xFED0C578, 0x44000100}, {AccessKind::PhysWrite, 0xFED0C578, 0x44000101},
        {AccessKind::Close, 0, 0},
    };
    const std::vector<sim::Access> log = Log();
    ASSERT_EQ(log.size(), std::size(expected));
    for (std::size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(log[i].kind, expected[i].kind);
        EXPECT_EQ(log[i].address, expected[i].address);
        EXPECT_EQ(log[i].value, expected[i].value);
    }
}

}  // namespace
}  // namespace hx::test

namespace hx::test {
namespace {

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
