// W1's TCO companion: the range decision (10 minutes / 610 seconds), the
// ticks the chip is loaded with (0.6 s each, nearest, halves upward), what a
// kick and a stop do to it, and a configure failure.
#include "core/state.h"
#include "wdt_test_util.h"

namespace hx::test {
namespace {

using sim::AccessKind;

constexpr u16 kTmr = 0x472;
constexpr u16 kTickMask = 0x3FF;
constexpr u32 kGcs = 0xFED1F410;
constexpr u32 kNoReboot = 1u << 5;

struct RangeCase {
    u16 count;
    u8 unit;
    int ticks;        // TCO_TMR reload value, or -1 when the TCO stays idle
    u16 superIoValue;
};

const RangeCase kRanges[] = {
    {255, 1, 425, 260}, {610, 1, 1017, 615}, {611, 1, -1, 616}, {10, 0, 1000, 11}, {11, 0, -1, 12},
    {2, 1, 3, 7},       {1, 1, 100, 6},      {0, 1, 100, 5},    {4, 1, 7, 9},      {5, 1, 8, 10},
    {0, 0, 100, 1},
};

class WdtTcoRangeTest : public WdtTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(WdtTcoRangeTest, TicksAndSuperIoValue) {
    const RangeCase& c = GetParam();
    LoadModel(kW1Model);
    ASSERT_EQ(SetWDT(c.count, c.unit), 1);
    ASSERT_EQ(StartWDT(), 1);
    EXPECT_EQ(SioValue(), c.superIoValue);
    if (c.ticks < 0) {
        EXPECT_FALSE(Tco().Running());
        for (const sim::Access& a : Log()) EXPECT_TRUE(a.address == 0x2E || a.address == 0x2F) << a.address;
    } else {
        EXPECT_TRUE(Tco().Running());
        EXPECT_EQ(Tco().Register16(kTmr) & kTickMask, c.ticks);
        EXPECT_EQ(Tco().TicksLeft(), c.ticks);
        EXPECT_EQ(Tco().Gcs() & kNoReboot, 0u);
        EXPECT_EQ(Tco().SmiEn() & (1u << 13), 0u) << "no SMI on the first time-out";
    }
}

INSTANTIATE_TEST_SUITE_P(W1, WdtTcoRangeTest, ::testing::ValuesIn(kRanges), [](const auto& info) {
    return std::to_string(info.param.count) + (info.param.unit ? "s" : "min");
});

TEST_F(WdtTest, TcoConfigureFailureLeavesTheSuperIoInNormalModeAndUnarmed) {
    const struct {
        AccessKind kind;
        const char* trace;
    } cases[] = {
        {AccessKind::PhysRead, "key w07=07 w72=C0 pin:FED1F410! w02=02"},
        {AccessKind::PhysWrite, "key w07=07 w72=C0 pin:FED1F410 pout:FED1F410=00000C00! w02=02"},
    };
    for (const auto& c : cases) {
        LoadModel(kW1Model);
        ASSERT_TRUE(sim::AddFault(sim::TheBoardState(), c.kind, kGcs));
        int result = -1;
        EXPECT_EQ(TraceOf([&] { result = StartWDT(); }), c.trace);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(WdtRunning.load(), 0u);
        EXPECT_FALSE(sim::TheBoardState().superIo.configMode);
        EXPECT_FALSE(Sio().Counting());
        EXPECT_FALSE(Tco().Running());
        EXPECT_EQ(TraceOf([] { ResetWDT(); }), "") << "nothing armed, nothing to kick";
        Unload();
    }
}

TEST_F(WdtTest, StartBeyondTheTcoRangeKeepsAnEarlierTcoRunningWithItsTicks) {
    LoadModel(kW1Model);
    ASSERT_EQ(SetWDT(30, 1), 1);
    ASSERT_EQ(StartWDT(), 1);  // 50 ticks
    ASSERT_EQ(SetWDT(700, 1), 1);
    EXPECT_EQ(TraceOf([] { StartWDT(); }), "key w07=07 w72=C0 r27 w27=94 wF8=1F wF9=02 w73=C1 w74=02 w02=02");
    EXPECT_TRUE(Tco().Running());
    Advance(20000);
    EXPECT_EQ(TraceOf([] { ResetWDT(); }), "in460 out460=0032 key w07=07 w73=C1 w74=02 w02=02");
    EXPECT_EQ(Tco().TicksLeft(), 50);
    EXPECT_EQ(TraceOf([] { StopWDT(); }), "in468 out468=0800 key w07=07 w73=00 w74=00 r27 w27=14 w02=02");
    EXPECT_FALSE(Tco().Running());
}

}  // namespace
}  // namespace hx::test
