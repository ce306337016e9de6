// The virtual watchdog chips by themselves, driven through the bus: the
// IT87 configuration state machine and counter, and the TCO timer's two
// time-outs.
#include <gtest/gtest.h>

#include "sim/virtual_board.h"
#include "sim/watchdog_board.h"

namespace hx::test {
namespace {

constexpr u16 kIndex = 0x2E, kData = 0x2F;
constexpr u64 kSecond = 1000, kMinute = 60 * kSecond;

class ChipTest : public ::testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(sim::SetUpBoard("Trelo-01")); }
    static sim::Board& B() { return sim::TheBoard(); }
    static const sim::ResetState& Resets() { return sim::TheBoardState().reset; }
    static void Out(u16 port, u32 value, u8 size = 1) { B().BusWritePort(port, value, size); }
    static u32 In(u16 port, u8 size = 1) { return B().BusReadPort(port, size); }
    static void Key(std::initializer_list<u8> bytes) {
        for (u8 b : bytes) Out(kIndex, b);
    }
    static void Reg(u8 reg, u8 value) {
        Out(kIndex, reg);
        Out(kData, value);
    }
    static u8 Reg(u8 reg) {
        Out(kIndex, reg);
        return static_cast<u8>(In(kData));
    }
    static bool InConfiguration() { return sim::TheBoardState().superIo.configMode; }
    // One register in configuration mode, with device 7 selected.
    static void Set(u8 reg, u8 value) {
        Key({0x87, 0x01, 0x55, 0x55});
        Reg(0x07, 0x07);
        Reg(reg, value);
        Reg(0x02, 0x02);
    }
    // 72h, then the value: 73h (loads the counter) and 74h (loads it again).
    static void ArmSuperIo(u8 config, u16 value) {
        Set(0x72, config);
        Set(0x73, static_cast<u8>(value));
        Set(0x74, static_cast<u8>(value >> 8));
    }
    // Trelo-01 wires KRST# through GP37: 27h bit 7 selects the pin, F8h = 1Fh
    // maps the watchdog output to it.
    static void OpenGp37() {
        Set(0x27, 0x94);
        Set(0xF8, 0x1F);
    }
    // Arms one second with `config` in 72h; true when that reset the machine.
    static bool ExpiryResets(u8 config) {
        const u32 before = Resets().count;
        ArmSuperIo(config, 1);
        B().AdvanceClock(kSecond);
        return Resets().count > before;
    }
};

TEST_F(ChipTest, OnlyTheFullEntryKeyOpensConfigurationMode) {
    Key({0x87, 0x01, 0x55, 0xAA});  // the 4Eh key
    EXPECT_FALSE(InConfiguration());
    Key({0x87, 0x01, 0x87, 0x01, 0x55, 0x55});  // restarted by a stray 87h
    EXPECT_TRUE(InConfiguration());
    EXPECT_EQ(Reg(0x20), 0x87);
    EXPECT_EQ(Reg(0x21), 0x83);
    Reg(0x02, 0x02);
    EXPECT_FALSE(InConfiguration());
    EXPECT_EQ(In(kData), 0xFFu) << "reads float in wait-for-key";
}

TEST_F(ChipTest, WritesOutsideConfigurationModeHaveNoEffect) {
    Reg(0x07, 0x07);
    Reg(0x73, 0x05);
    Key({0x87, 0x01, 0x55, 0x55});
    EXPECT_EQ(Reg(0x07), 0x00);
    EXPECT_FALSE(sim::TheSuperIo().Counting());
}

TEST_F(ChipTest, WatchdogRegistersBelongToLogicalDevice7) {
    Key({0x87, 0x01, 0x55, 0x55});
    Reg(0x07, 0x04);
    Reg(0x72, 0xC0);
    Reg(0x73, 0x05);
    EXPECT_FALSE(sim::TheSuperIo().Counting());
    Reg(0x07, 0x07);
    EXPECT_EQ(Reg(0x72), 0x00);
}

TEST_F(ChipTest, CounterUnitsReloadAndStop) {
    OpenGp37();
    ArmSuperIo(0x40, 2);  // minutes, KRST#
    B().AdvanceClock(2 * kMinute - 1);
    EXPECT_EQ(Resets().count, 0u);
    ArmSuperIo(0xC0, 3);  // reload: 3 seconds from now
    B().AdvanceClock(3 * kSecond - 1);
    EXPECT_EQ(Resets().count, 0u);
    B().AdvanceClock(1);
    EXPECT_EQ(Resets().count, 1u);

    OpenGp37();
    ArmSuperIo(0xC0, 3);
    ArmSuperIo(0xC0, 0);  // value 0 stops the counter
    B().AdvanceClock(kMinute);
    EXPECT_EQ(Resets().count, 1u);
}

// A time-out resets only through the output the board wires, and only with
// every pin and pad of its path in place.
TEST_F(ChipTest, OnlyTheWiredOutputThroughItsGatesResets) {
    Set(0xF8, 0x1F);
    EXPECT_FALSE(ExpiryResets(0xC0)) << "GP37 mapped, not selected";
    OpenGp37();
    EXPECT_FALSE(ExpiryResets(0x90)) << "PWROK is not wired on this board";
    EXPECT_FALSE(ExpiryResets(0x80)) << "routed nowhere";
    EXPECT_EQ(sim::TheBoardState().superIo.wdtExpiries, 3u);
    EXPECT_TRUE(ExpiryResets(0xC0));
    EXPECT_STREQ(Resets().lastCause, "Super I/O IT8783 watchdog via KRST# on Trelo-01");

    // Trelo-16: PWROK on GP52, passed on while the PCH pad drives high.
    ASSERT_TRUE(sim::SetUpBoard("Trelo-16"));
    Set(0xF8, 0x2A);
    EXPECT_FALSE(ExpiryResets(0x90)) << "pad low, as the firmware leaves it";
    B().BusWritePhys(0xFD6D07C0, B().BusReadPhys(0xFD6D07C0) | 1);
    EXPECT_TRUE(ExpiryResets(0x90));
}

// ---- TCO ---------------------------------------------------------------------

constexpr u16 kRld = 0x460, kSts1 = 0x464, kSts2 = 0x466, kCnt1 = 0x468, kTmr = 0x472, kSmiEn = 0x430;
constexpr u32 kGcs = 0xFED1F410;

void RunTco(u16 ticks) {
    ChipTest::Out(kTmr, ticks, 2);
    ChipTest::Out(kRld, 1, 2);
    ChipTest::Out(kCnt1, 0, 2);
}

TEST_F(ChipTest, TcoResetsOnTheSecondTimeOutUnlessNoReboot) {
    B().BusWritePhys(kGcs, 0);
    RunTco(10);  // 6 s per time-out
    B().AdvanceClock(6 * kSecond);
    EXPECT_EQ(In(kSts1, 2) & 0x8, 0x8u) << "first time-out: status only";
    EXPECT_EQ(sim::TheBoardState().tco.smiCount, 1u) << "the firmware left TCO SMIs enabled";
    EXPECT_EQ(Resets().count, 0u);
    B().AdvanceClock(6 * kSecond - 1);
    EXPECT_EQ(Resets().count, 0u);
    B().AdvanceClock(1);
    EXPECT_EQ(Resets().count, 1u);
    EXPECT_STREQ(Resets().lastCause, "ICH TCO timer, second time-out");
    EXPECT_FALSE(sim::TheTco().Running()) << "power-on state after the reset";

    B().BusWritePhys(kGcs, 1u << 5);  // NO_REBOOT
    RunTco(10);
    B().AdvanceClock(kMinute);
    EXPECT_EQ(Resets().count, 1u);
    EXPECT_EQ(In(kSts2, 2) & 0x2, 0x2u);
}

TEST_F(ChipTest, TcoReloadHaltAndStatusClear) {
    B().BusWritePhys(kGcs, 0);
    Out(kSmiEn, 0, 2);
    RunTco(5);  // 3 s
    B().AdvanceClock(3 * kSecond);
    Out(kSts1, 0x8, 2);  // cleared: the next run-out is a first time-out again
    B().AdvanceClock(3 * kSecond);
    EXPECT_EQ(Resets().count, 0u);
    EXPECT_EQ(sim::TheBoardState().tco.smiCount, 0u);
    B().AdvanceClock(2 * kSecond);
    Out(kRld, 0, 2);
    EXPECT_EQ(In(kRld, 2), 5u);
    Out(kCnt1, 0x800, 2);
    B().AdvanceClock(kMinute);
    EXPECT_EQ(Resets().count, 0u);
}

}  // namespace
}  // namespace hx::test
