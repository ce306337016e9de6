// ADC (A1), LED drive (L1, L2, L3) and MCU maintenance (V1, V2) through the
// exports on the virtual board: the exact frames on the wire, the volts,
// the reset pulse in the board's access log and the restart it causes, and
// every board driving exactly the functions its hardware has.
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

#include "core/library_lock.h"
#include "halvex32_service.h"
#include "tests/unit/halvexctl_rows.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

constexpr u32 kResetPad = 0xD0C50528;

using Maint = McuLinkTest;

struct LedCase { const char* model; u32 first, value; std::optional<u32> payload; };  // payload b5 b4 b3 b2; none: nothing sent
const LedCase kLedCases[] = {
    {"Trelo-05", 1, 0, 0x00780001},      {"Trelo-05", 1, 1000, 0x08100001},  {"Trelo-05", 2, 0x1ABCD, 0xABCD0002},
    {"Trelo-05", 0, 0xFFFF1234, 0x12340000}, {"Trelo-05", 3, 1, {}},
    {"Trelo-11", 1, 1999, 0x017764F1},   {"Trelo-11", 1, 5000, 0x017764F1},  {"Trelo-11", 0x00020002, 20000, 0x01AA6422},
    {"Trelo-11", 3, 0x03E80FA0, 0x00CD28F3}, {"Trelo-11", 0x00010001, 0, 0x00006411}, {"Trelo-11", 0x00030000, 9, 0x00000030},
    {"Trelo-11", 4, 1, {}},              {"Trelo-11", 0x00010004, 1, {}},
    {"Ondra-01", 1, 501, {}},            {"Ondra-01", 3, 0, {}},
    {"Ondra-01", 1, 500, 0x26900601},    {"Ondra-01", 0, 500, 0x27000000},   {"Ondra-01", 2, 7, 0xF6000002},
};

// The L3 cases of one board draw the generator's first three bytes from the seed 0 of the load.
TEST_F(Maint, LedFramesOnTheWire) {
    const char* loaded = "";
    for (const LedCase& c : kLedCases) {
        if (std::string(loaded) != c.model) Reload(loaded = c.model);
        const u32 before = FramesReceived();
        EXPECT_EQ(LED_SetCurrentDriving(c.first, c.value), c.payload.has_value()) << &c - kLedCases;
        const std::vector<Frame7> expected = c.payload ? std::vector{MakeFrame(0x7A, *c.payload)} : std::vector<Frame7>{};
        EXPECT_EQ(FramesSince(before), expected) << &c - kLedCases;
    }
}

// True when `fn` finished while another thread held the library lock (a
// call that waited for it would finish only after the holder gave up).
template <typename Fn>
bool RunsBesideTheLock(Fn fn) {
    std::atomic<int> state{0};  // 1 held, 2 the holder gave up, 3 fn finished first
    std::thread holder([&] {
        LibraryLockGuard lock;
        state = 1;
        for (int i = 0; i < 5000 && state == 1; ++i) usleep(1000);
        int held = 1;
        state.compare_exchange_strong(held, 2);
    });
    while (state == 0) usleep(100);
    fn();
    int held = 1;
    const bool first = state.compare_exchange_strong(held, 3);
    holder.join();
    return first;
}

// The generator continues from a seed set in the middle; L3 takes no lock.
TEST_F(Maint, DimmerRandomBytesUnderAFixedSeedAndWithoutTheLock) {
    LoadWithLinks("Ondra-01");
    service::SeedLedGenerator(0x12345678);
    EXPECT_TRUE(RunsBesideTheLock([] { for (int i = 0; i < 3; ++i) EXPECT_TRUE(LED_SetCurrentDriving(1, 0)); }));
    const std::vector<Frame7> sent{MakeFrame(0x7A, 0xE9000001), MakeFrame(0x7A, 0x3F000001), MakeFrame(0x7A, 0x0D000001)};
    EXPECT_EQ(FramesSince(0), sent);
}

TEST_F(Maint, AdcVoltsFramesAndStopAfterAFailedStart) {
    LoadWithLinks("Trelo-05");
    double volts = -1;
    ASSERT_TRUE(service::SetBoardAdcVolts(1, 33.0) && service::SetBoardAdcVolts(2, 0.0));
    EXPECT_TRUE(ADC_GetData(1, &volts) && volts == 33.0);
    EXPECT_TRUE(ADC_GetData(2, &volts) && volts == 0.0);
    EXPECT_TRUE(ADC_GetData(9, &volts) && volts == 4294967295.0 * 33.0 / 3723.0);  // no such input: FFFFFFFFh, unsigned
    const double absent = volts;
    EXPECT_FALSE(ADC_GetData(1, nullptr));
    EXPECT_TRUE(ADC_Start(0x80000005) && ADC_Stop(3));
    Arm([](sim::LinkFaultState& f) { f.dropAnswers = 2; });
    EXPECT_FALSE(ADC_GetData(1, &volts));
    EXPECT_EQ(volts, absent);  // unchanged
    EXPECT_FALSE(ADC_Start(0x1234));  // not echoed: the stop follows with the same word, echoed
    const std::vector<Frame7> sent{{0x23, 0xA2, 1, 0, 0, 0, 0xC6}, MakeFrame(0xA2, 2), MakeFrame(0xA2, 9),
                                   {0x23, 0xA1, 5, 0, 0, 0x80, 0x49}, MakeFrame(0xA0, 3), MakeFrame(0xA2, 1),
                                   MakeFrame(0xA1, 0x1234), MakeFrame(0xA0, 0x1234)};
    EXPECT_EQ(FramesSince(0), sent);
}

// V2: the pulse keeps the pad's upper bits; the MCU restarts at its end with
// its outputs off, and answers the version query straight after.
TEST_F(Maint, ResetPulseOnThePadWordRestartsTheMcu) {
    LoadWithLinks("Vexa-04");
    ASSERT_EQ(InitDIO(), 1);
    DOWriteLine(3, 1);
    ASSERT_EQ(service::GetBoardDioLines().outputsOn, 8u);
    ASSERT_TRUE(service::PresetBoardMcuResetPad(0x12345678));
    sim::ClearAccessLog(sim::TheBoardState());
    EXPECT_TRUE(RunsBesideTheLock([] { EXPECT_EQ(MCU_Reset(), 1); }));
    std::vector<u32> pad;
    for (const sim::Access& a : Log()) {
        if (a.address == kResetPad) pad.insert(pad.end(), {static_cast<u32>(a.kind), a.value});
    }
    const u32 r = static_cast<u32>(sim::AccessKind::PhysRead), w = static_cast<u32>(sim::AccessKind::PhysWrite);
    EXPECT_EQ(pad, (std::vector<u32>{r, 0x12345678, w, 0x12345200, w, 0x12345201, w, 0x12345200}));
    const service::BoardMcu mcu = service::GetBoardMcu();
    EXPECT_EQ(std::tuple(mcu.restarts, mcu.resetPadWord, mcu.resetLineHigh), std::tuple(1u, 0x12345200u, false));
    EXPECT_EQ(service::GetBoardDioLines().outputsOn, 0u);
    u32 version = 0xDEADBEEF;
    EXPECT_FALSE(MCU_GetVersion(nullptr));
    EXPECT_TRUE(MCU_GetVersion(&version) && version == sim::kFirmwareVersion);
    Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });
    version = 0xDEADBEEF;
    EXPECT_FALSE(MCU_GetVersion(&version));
    EXPECT_EQ(version, 0xDEADBEEFu);
    EXPECT_EQ(FramesSince(0), (std::vector{MakeFrame(0xFF, 0xDEADBEEF), MakeFrame(0xFF, 0xDEADBEEF)}));
}

bool Within(u32 current, u32 asked, u32 step) { return current + step >= asked && current <= asked + step; }

// Each board's own firmware and pads decide: the analog inputs where it has
// them, a 500 mA request lit by its own LED driver (500 +- one step of the
// coarsest driver), the version where it reports one, the reset pulse where
// the chipset drives the MCU's reset line; no frame of a function reaches a
// board without it, and no board without an MCU is looked for one.
TEST_F(Maint, EveryBoardDrivesItsOwnAdcLedAndMcu) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        SCOPED_TRACE(m.name);
        Reload(m.name);
        const sim::McuFunctionSet& f = *m.mcuFunctions;
        const bool adc = f.adcChannels > 0, led = f.led != sim::LedDriver::None;
        EXPECT_EQ(service::SetBoardAdcVolts(1, 33.0), adc);
        double volts = 0;
        EXPECT_EQ(ADC_Start(0) && ADC_GetData(1, &volts) && volts == 33.0, adc);
        EXPECT_EQ(LED_SetCurrentDriving(1, 500), led);
        const service::BoardLedOutput out = service::GetBoardLed(0);
        EXPECT_EQ(out.on && out.duty == 100 && Within(out.current, 500, 6), led) << out.current;
        u32 version = 0;
        EXPECT_EQ(MCU_GetVersion(&version), f.versionQuery);
        EXPECT_EQ(version, f.versionQuery ? sim::kFirmwareVersion : 0);
        for (const Frame7& frame : FramesSince(0)) {
            EXPECT_FALSE(!led && frame[1] == 0x7A) << "LED frame";
            EXPECT_FALSE(!adc && frame[1] >= 0xA0 && frame[1] <= 0xA2) << "ADC frame";
        }
        EXPECT_TRUE(m.mcu.attach != sim::UartAttach::None || LinkLookups() == 0) << "looked for an MCU";
        EXPECT_EQ(MCU_Reset(), f.resetPad != 0);
        EXPECT_EQ(service::GetBoardMcu().restarts, f.resetPad != 0 ? 1u : 0u);
    }
}

TEST(MaintHalvexctl, AdcLedAndMcuCommands) {
    ExpectHalvexctlRows({
        {"--virtual Trelo-05 board adc 1 12.5", 0, "ADC 1: 12.500 V at the input, reading 1410\n"},
        {"--virtual Trelo-05 adc read 0 --watch --interval 10ms --for 20ms", 0, "ADC 0: 0.000 V\nADC 0: 0.000 V\nADC 0: 0.000 V\n"},
        {"--virtual Trelo-11 led set 2 --mode 1 --value 1000", 0, "(first argument 0x00040001)\nboard: LED 2 999 mA, duty 100%, on\n"},
        {"--virtual Trelo-05 led set 1 --mode 1 --value 10", 2, ""},
        {"--virtual Vexa-06 mcu reset", 0, "board: MCU restarts 1\nMCU version after the restart: 0x00010203"},
        {"--virtual Trelo-11 mcu reset", 3, ""},
    });
}

}  // namespace
}  // namespace hx::test
