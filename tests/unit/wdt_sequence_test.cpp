// Register sequences of the four watchdog families: start, stop, kick and
// init as the Super I/O and the chipset see them, with the per-unit margins,
// the 16-bit wrap and W4's start/kick asymmetry.
#include <sys/wait.h>
#include <unistd.h>

#include "core/state.h"
#include "wdt_test_util.h"

namespace hx::test {
namespace {

using sim::AccessKind;

struct SequenceCase {
    const char* model;
    const char* init;          // the first InitWDT
    bool initLeavesConfiguration;
    const char* idleStop;      // StopWDT before any start (a kick then writes nothing)
    int idleStopResult;
    const char* start;         // StartWDT with the default 255 seconds
    const char* kick;          // ResetWDT while running
    const char* stop;          // StopWDT while running
};

// 255 s: W1 and W2 write 260 (104h), W3 256, W4 255; W1 arms the TCO timer
// with 425 ticks (1A9h); the firmware left 27h = 14h, 2Ah = 03h, GCS = C20h,
// SMI_EN = 2001h and the TCO timer halted with 4 ticks. The first InitWDT
// writes the key twice; W2's leaves the chip in configuration mode. Without a
// start, a stop still stops the chip, except on W2.
const SequenceCase kSequences[] = {
    {kW1Model, "idx87 key w07=07 w02=02", false, "key w07=07 w73=00 w74=00 r27 w27=14 w02=02", 1,
     "key w07=07 w72=C0 pin:FED1F410 pout:FED1F410=00000C00 in472 out472=01A9 in430 out430=0001 "
     "in460 out460=01A9 in468 out468=0000 r27 w27=94 wF8=1F wF9=02 w73=04 w74=01 w02=02",
     "in460 out460=01A9 key w07=07 w73=04 w74=01 w02=02",
     "in468 out468=0800 key w07=07 w73=00 w74=00 r27 w27=14 w02=02"},
    {kW2Model, "idx87 key w07=07", true, "", 0,
     "key w07=07 wF8=1F wF9=02 r2A w2A=23 pin:FED0C150 pout:FED0C150=2000CC00 pin:FED0C158 "
     "pout:FED0C158=00000000 w72=90 w73=04 w74=01 w02=02",
     "key w07=07 w73=04 w74=01 w02=02",
     "key w07=07 wF8=00 w73=00 w74=00 w02=02"},
    {kW3Model, "idx87 key w07=07 w02=02", false, "key w07=07 w72=00 w73=00 w74=00 wF8=00 w02=02", 1,
     "key w07=07 w72=C0 wF8=2A wF9=02 w73=00 w74=01 w02=02",
     "key w07=07 w73=00 w74=01 w02=02",
     "key w07=07 w72=00 w73=00 w74=00 wF8=00 w02=02"},
    {kW4Model, "idx87 key w07=07 w02=02", false,
     "key w07=07 w72=80 w73=00 w74=00 wF8=00 pin:FD6D07C0 pout:FD6D07C0=44000200 w02=02", 1,
     "key w07=07 pin:FD6D07C0 pout:FD6D07C0=44000201 w72=90 wF8=2A wF9=02 w23=10 w73=FF w74=00 w02=02",
     "key w07=07 w73=00 w74=01 w02=02",
     "key w07=07 w72=80 w73=00 w74=00 wF8=00 pin:FD6D07C0 pout:FD6D07C0=44000200 w02=02"},
};

class WdtSequenceTest : public WdtTest, public ::testing::WithParamInterface<SequenceCase> {};

// The 20 minutes set before the first InitWDT give way to its defaults.
TEST_P(WdtSequenceTest, InitThenStartKickStopWithTheDefaults) {
    const SequenceCase& c = GetParam();
    LoadModel(c.model);
    ASSERT_EQ(SetWDT(20, 0), 1);
    int result = 0;
    EXPECT_EQ(TraceOf([&] { result = InitWDT(); }), c.init);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Shared().wdtInitDone.load(), 1u);
    EXPECT_EQ(sim::TheBoardState().superIo.configMode, c.initLeavesConfiguration);
    EXPECT_EQ(TraceOf([&] { result = ResetWDT(); }), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(TraceOf([&] { result = StopWDT(); }), c.idleStop);
    EXPECT_EQ(result, c.idleStopResult);
    EXPECT_EQ(TraceOf([&] { result = StartWDT(); }), c.start);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(WdtRunning.load(), 1u);
    EXPECT_EQ(TraceOf([&] { result = ResetWDT(); }), c.kick);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(TraceOf([&] { result = StopWDT(); }), c.stop);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(WdtRunning.load(), 0u);
    EXPECT_FALSE(Sio().Counting());
}

INSTANTIATE_TEST_SUITE_P(Families, WdtSequenceTest, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string("W") + std::to_string(info.index + 1); });

// ---- values and units ------------------------------------------------------

struct ValueCase {
    const char* model;
    u16 count;
    u8 unit;
    u16 startValue;  // 74h:73h after StartWDT
    u8 config;       // 72h after StartWDT
    u16 kickValue;   // 74h:73h after ResetWDT
};

const ValueCase kValues[] = {
    {kW1Model, 10, 0, 11, 0x40, 11},        {kW1Model, 30, 1, 35, 0xC0, 35},
    {kW1Model, 65535, 1, 4, 0xC0, 4},       {kW1Model, 65535, 0, 0, 0x40, 0},
    {kW2Model, 10, 0, 11, 0x10, 11},        {kW2Model, 30, 1, 35, 0x90, 35},
    {kW2Model, 65535, 1, 4, 0x90, 4},       {kW3Model, 10, 0, 10, 0x40, 10},
    {kW3Model, 30, 1, 31, 0xC0, 31},        {kW3Model, 65535, 1, 0, 0xC0, 0},
    {kW4Model, 10, 0, 10, 0x10, 10},        {kW4Model, 30, 1, 30, 0x90, 31},
    {kW4Model, 65535, 1, 65535, 0x90, 0},   {kW4Model, 0, 1, 0, 0x90, 1},
};

class WdtValueTest : public WdtTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(WdtValueTest, MarginPerUnitAndOperationIn16Bits) {
    const ValueCase& c = GetParam();
    LoadModel(c.model);
    Shared().wdtInitDone.store(1);
    ASSERT_EQ(SetWDT(c.count, c.unit), 1);
    ASSERT_EQ(StartWDT(), 1);
    EXPECT_EQ(SioValue(), c.startValue);
    EXPECT_EQ(Sio().GpioRegister(0x72), c.config);
    ASSERT_EQ(ResetWDT(), 1);
    EXPECT_EQ(SioValue(), c.kickValue);
    EXPECT_EQ(Sio().GpioRegister(0x72), c.config);
}

INSTANTIATE_TEST_SUITE_P(Families, WdtValueTest, ::testing::ValuesIn(kValues), [](const auto& info) {
    const ValueCase& c = info.param;
    return std::string(c.model).replace(5, 1, "_") + "_" + std::to_string(c.count) + (c.unit ? "s" : "min");
});

TEST_F(WdtTest, UnitChangeWhileRunningTakesTheNewMarginButKeeps72h) {
    LoadModel(kW3Model);
    ASSERT_EQ(SetWDT(30, 1), 1);
    ASSERT_EQ(StartWDT(), 1);
    ASSERT_EQ(SetWDT(2, 0), 1);
    EXPECT_EQ(TraceOf([] { ResetWDT(); }), "key w07=07 w73=02 w74=00 w02=02");
    EXPECT_EQ(Sio().GpioRegister(0x72), 0xC0) << "still seconds: the kick does not touch 72h";
}

// ---- InitWDT ----------------------------------------------------------------

// A SetWDT with a bad unit keeps its count and the old unit; an InitWDT after
// another process's leaves both.
TEST_F(WdtTest, BadUnitKeepsTheOldUnitAndASecondInitChangesNothing) {
    LoadModel(kW3Model);
    Shared().wdtInitDone.store(1);
    ASSERT_EQ(SetWDT(3, 0), 1);
    EXPECT_EQ(SetWDT(20, 2), 0);
    int result = 0;
    EXPECT_EQ(TraceOf([&] { result = InitWDT(); }), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(TraceOf([] { StartWDT(); }), "key w07=07 w72=40 wF8=2A wF9=02 w73=14 w74=00 w02=02");
}

TEST_F(WdtTest, InitFailsWithoutHardwareAccessAndLeavesTheSharedFlag) {
    LoadModel(kW1Model);
    ASSERT_TRUE(sim::AddFault(sim::TheBoardState(), AccessKind::PortWrite, 0x2E));
    EXPECT_EQ(TraceOf([] { EXPECT_EQ(InitWDT(), 0); }), "idx87!");
    EXPECT_EQ(Shared().wdtInitDone.load(), 0u);
}

// W2 refuses to start before any InitWDT; one in a second process (sharing
// the words) lets this one start.
TEST_F(WdtTest, W2StartsOnlyAfterAnInitInSomeProcess) {
    LoadModel(kW2Model);
    int result = -1;
    EXPECT_EQ(TraceOf([&] { result = StartWDT(); }), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(WdtRunning.load(), 0u);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(InitWDT() == 1 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Shared().wdtInitDone.load(), 1u);
    EXPECT_EQ(StartWDT(), 1);
    EXPECT_TRUE(Sio().Counting());
}

}  // namespace
}  // namespace hx::test
