// PWM (M1) through the exports on the virtual board: the frames each
// operation posts (and none for a bad setup record), status events through
// the receive thread, select-then-set pairs of two threads, the boards whose
// firmware has generators, and halvexctl pwm.
#include <latch>
#include <thread>

#include "halvex32_service.h"
#include "mcu/receiver.h"
#include "tests/unit/halvexctl_rows.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Frames = std::vector<Frame7>;

using Pwm = McuLinkTest;

u32 g_record[6] = {4000, 1000, 1, 0xAA, 0xBB, 0xCC};  // period, width, invert; the rest is not sent
const Frames kSetup{MakeFrame(0x92, 1), MakeFrame(0x9A, 4000), MakeFrame(0x9B, 1000), MakeFrame(0x9C, 1)};

struct PostCase { Bool32 (*call)(); Bool32 result; Frames frames; };
const PostCase kPostCases[] = {
    {[] { return PWM_ClockSet(7, 1000); }, 1, {MakeFrame(0x99, 1000)}},
    {[] { return PWM_GenSetup(1, g_record, 24); }, 1, kSetup},
    {[] { return PWM_GenSetup(1, g_record, 12); }, 1, kSetup},
    {[] { return PWM_GenSetup(1, g_record, 11); }, 0, {}},
    {[] { return PWM_GenSetup(1, nullptr, 12); }, 0, {}},
    {[] { return PWM_GenPeriod(3, 0xFFFFFFFF); }, 1, {MakeFrame(0x92, 3), MakeFrame(0x93, 0xFFFFFFFF)}},
    {[] { return PWM_PulseWidth(9, 250); }, 1, {MakeFrame(0x94, 9), MakeFrame(0x95, 250)}},
    {[] { return PWM_PulseInvert(5); }, 1, {MakeFrame(0x96, 5)}},
    {[] { return PWM_Start(6); }, 1, {MakeFrame(0x91, 6)}},
    {[] { return PWM_Stop(6); }, 1, {MakeFrame(0x90, 6)}},
    {[] { return PWM_SyncTimeBase(0); }, 1, {MakeFrame(0x92, 0), MakeFrame(0x97, 0)}},
    {[] { return PWM_SyncUpdate(2); }, 1, {{0x23, 0x92, 2, 0, 0, 0, 0xB7}, {0x23, 0x98, 0, 0, 0, 0, 0xBB}}},
};

TEST_F(Pwm, EachOperationPostsItsFramesInOrder) {
    LoadAndOpen("Trelo-16");
    ASSERT_TRUE(StartMcuReceiver());  // takes the status events a start or stop raises
    for (const PostCase& c : kPostCases) {
        const u32 from = FramesReceived();
        EXPECT_EQ(c.call(), c.result) << &c - kPostCases;
        EXPECT_EQ(FramesUpToNow(from), c.frames) << &c - kPostCases;
    }
}

using Statuses = std::vector<std::pair<u32, u32>>;
Recorded<std::pair<u32, u32>> g_status;
void HX_CALLBACK OnStatus(u32 generator, u32 status) { g_status.Add({generator, status}); }

// Generator 1 at 2 kHz / 100 ticks, width 25: started, then a width beyond
// the period, then stopped; the board's output shows each state.
TEST_F(Pwm, StatusEventsReachTheCallbackAndTheOutputShowsTheDutyCycle) {
    LoadWithLinks("Trelo-11");
    ASSERT_TRUE(PWM_RegisterStatus(OnStatus) && OpenMcuLink(serialPortMcu) && StartMcuReceiver());
    ASSERT_TRUE(service::EmitBoardEvent(0x41, 0x12345678));
    ASSERT_TRUE(PWM_ClockSet(0, 2000) && PWM_GenPeriod(1, 100) && PWM_PulseWidth(1, 25) && PWM_Start(2));
    ASSERT_TRUE(WaitUntil([](const sim::SerialLinkState& s) { return s.mcu.pwm.events == 1; }));
    const auto shown = [] { const auto o = service::GetBoardPwmOutput(1); return std::tuple(o.running, o.dutyPercent, o.frequencyHz); };
    EXPECT_EQ(shown(), std::tuple(true, 25.0, 20.0));
    ASSERT_TRUE(PWM_PulseInvert(2) && PWM_PulseWidth(1, 101) && PWM_Stop(2));
    ASSERT_TRUE(WaitUntil([](const sim::SerialLinkState& s) { return s.mcu.pwm.events == 3; }));
    EXPECT_EQ(shown(), std::tuple(false, 100.0, 0.0));  // at rest: inactive, which is high when inverted
    EXPECT_EQ(g_status.Wait(4), (Statuses{{0x12, 0x345678}, {1, 0xFA01}, {1, 0x3E803}, {1, 0x3E802}}));
}

// Each thread sets its own generator's period, tagging the value with the
// generator: under the lock every 93h follows the 92h of its own thread.
TEST_F(Pwm, SelectThenSetPairsOfTwoThreadsNeverInterleave) {
    LoadWithLinks("Qantis-02");
    for (int round = 0; round < 50; ++round) {
        const u32 before = FramesReceived();
        std::latch go(2);
        const auto run = [&go](u32 g) { go.arrive_and_wait(); for (u32 i = 0; i < 16; ++i) PWM_GenPeriod(g, g << 16 | i); };
        std::thread a(run, 1), b(run, 2);
        a.join(), b.join();
        ASSERT_TRUE(WaitForFrames(before + 64)) << round << " " << FramesReceived() - before;
        const Frames f = FramesSince(before);
        for (std::size_t k = 0; k + 1 < f.size(); k += 2) {
            ASSERT_EQ(FramePayload(f[k + 1].data()) >> 16, FramePayload(f[k].data())) << round << " " << k;
        }
    }
}

// PWM works exactly where the board's firmware has generators: a missing or
// extra M1 cell in the catalog fails here.
TEST_F(Pwm, EveryBoardDrivesItsOutputsExactlyWhenItsFirmwareHasThem) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name);
        const bool has = m.mcuFunctions && m.mcuFunctions->pwmOutputs > 0;
        EXPECT_EQ(*service::GetInfo().groups[service::kPwm].family != '\0', has) << m.name;
        EXPECT_EQ(PWM_GenPeriod(1, 400) && PWM_PulseWidth(1, 100) && PWM_Start(2), has) << m.name;
        EXPECT_TRUE(!has || WaitUntil([](const sim::SerialLinkState& s) { return s.mcu.pwm.running == 2; })) << m.name;
        EXPECT_EQ(service::GetBoardPwmOutput(1).dutyPercent, has ? 25.0 : 0.0) << m.name;
    }
}

TEST(PwmHalvexctl, SetAndStartShowTheOutputAndItsStatusEvents) {
    ExpectHalvexctlRows({
        {"--virtual Trelo-16 pwm set 1 --period 4000 --width 1000 --clock 2000000 --start --watch 300ms", 0,
         "PWM status   generator 01  status 00FA01\noutput PWM1  running  period 4000  width 1000  duty 25.0%  500.00 Hz\n"},
        {"--virtual Trelo-12 pwm start 1", 3, ""},
    });
}

}  // namespace
}  // namespace hx::test
