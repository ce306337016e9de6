// Encoder family Q1 through the exports on the virtual board: the frames on
// the MCU link with their size, null and failure rules, what the channels
// count while the board's shaft turns, and the encoder column of every model.
#include <functional>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tests/unit/halvexctl_rows.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

namespace svc = hx::service;
using Arming = std::function<void(sim::LinkFaultState&)>;
constexpr u32 kUntouched = 0xA5A5A5A5;

class Qei : public McuLinkTest {};

TEST_F(Qei, FramesAndResults) {
    const u32 words[3] = {0x11, 0x22, 0x33};
    u32 out = kUntouched;
    const auto F = MakeFrame;
    const Frame7 velocityOf1{0x23, 0xB4, 0x01, 0x00, 0x00, 0x00, 0xD8};
    struct Row { const char* name; Arming arm; std::function<Bool32()> call; Bool32 result; std::vector<Frame7> frames; u32 out; } const rows[] = {
        {"start", {}, [] { return QEI_Start(3); }, 1, {F(0xB1, 3)}, kUntouched},
        {"stop", {}, [] { return QEI_Stop(0x80000001); }, 1, {F(0xB0, 0x80000001)}, kUntouched},
        {"velocity of channel 1: the payload unscaled", {}, [&] { return QEI_GetVelocity(1, &out); }, 1, {velocityOf1}, 4000},
        {"direction", {}, [&] { return QEI_GetDirection(1, &out); }, 1, {F(0xB3, 1)}, 0},
        {"position", {}, [&] { return QEI_GetPosition(0, &out); }, 1, {F(0xB5, 0)}, 0},
        {"position, bad checksum: result kept", [](auto& f) { f.corruptChecksum = 1; }, [&] { return QEI_GetPosition(0, &out); }, 0, {F(0xB5, 0)}, kUntouched},
        {"position without a result", {}, [] { return QEI_GetPosition(0, nullptr); }, 0, {}, kUntouched},
        {"setup of 0 bytes", {}, [&] { return QEI_Setup(9, (void*)words, 0); }, 1, {}, kUntouched},
        {"setup of 6 bytes: two words", {}, [&] { return QEI_Setup(9, (void*)words, 6); }, 1, {F(0xB9, 0x11), F(0xBA, 0x22)}, kUntouched},
        {"setup without a record", {}, [] { return QEI_Setup(0, nullptr, 12); }, 0, {}, kUntouched},
        {"setup stops at the word not echoed", [](auto& f) { f.passAnswers = 1, f.corruptChecksum = 1; },
         [&] { return QEI_Setup(0, (void*)words, 12); }, 0, {F(0xB9, 0x11), F(0xBA, 0x22)}, kUntouched},
        {"set position: channel, then position", {}, [] { return QEI_SetPosition(1, 0x12345678); }, 1, {F(0xB2, 1), F(0xB6, 0x12345678)}, kUntouched},
        {"set position, channel not echoed: no B6h", [](auto& f) { f.corruptChecksum = 1; }, [] { return QEI_SetPosition(0, 5); }, 0, {F(0xB2, 0)}, kUntouched},
    };
    LoadAndOpen();
    svc::SetBoardShaftRpm(60);
    for (const Row& row : rows) {
        if (row.arm) Arm(row.arm);
        const u32 from = FramesReceived();
        out = kUntouched;
        EXPECT_EQ(row.call(), row.result) << row.name;
        EXPECT_EQ(FramesSince(from), row.frames) << row.name;
        EXPECT_EQ(out, row.out) << row.name;
    }
    EXPECT_EQ(svc::GetBoardEncoder(1).position, 0x12345678u);
}

// Counts follow rpm x 4 x lines / 60 a second of board time (1000 lines
// when setup word 0 is 0); setup word 1 bit n makes channel n count the other way.
TEST_F(Qei, ChannelsCountTheShaftOnTheBoardClock) {
    struct Row { const char* name; std::vector<u32> setup; u32 channel, startMask, from; int32_t rpm; u32 steps, stepMs, position, direction, velocity; } const rows[] = {
        {"forwards, 1000 lines", {0}, 0, 1, 0, 60, 1, 250, 1000, 0, 4000},
        {"backwards, 500 lines", {500}, 1, 2, 0, -90, 1, 1000, 0xFFFFF448, 1, 3000},
        {"wraps past FFFFFFFFh", {1}, 0, 1, 0xFFFFFFF0, 60, 1, 5000, 4, 0, 4},
        {"fractions carry over", {0}, 0, 1, 0, 1, 10, 100, 66, 0, 66},
        {"tracks swapped on channel 1", {0, 2}, 1, 2, 0, 60, 1, 250, 0xFFFFFC18, 1, 4000},
        {"a stopped channel keeps its count", {0}, 1, 1, 7, 60, 1, 250, 7, 0, 0},
    };
    for (const Row& row : rows) {
        Reload("Trelo-11");
        u32 got[3] = {kUntouched, kUntouched, kUntouched};
        ASSERT_TRUE(QEI_Setup(0, (void*)row.setup.data(), static_cast<u32>(4 * row.setup.size())) && QEI_Start(row.startMask) &&
                    QEI_SetPosition(row.channel, row.from)) << row.name;
        svc::SetBoardShaftRpm(row.rpm);
        for (u32 i = 0; i < row.steps; ++i) svc::AdvanceBoardClock(row.stepMs);
        EXPECT_TRUE(QEI_GetPosition(row.channel, &got[0]) && QEI_GetDirection(row.channel, &got[1]) &&
                    QEI_GetVelocity(row.channel, &got[2])) << row.name;
        EXPECT_EQ(std::vector<u32>(got, got + 3), (std::vector<u32>{row.position, row.direction, row.velocity})) << row.name;
    }
}

// Q1 works exactly where the board's firmware has encoder channels; on the
// other boards the call does not even look for the MCU's port.
TEST_F(Qei, EveryBoardHasItsEncoderColumn) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name, false);
        const bool has = m.mcuFunctions && m.mcuFunctions->qeiChannels > 0;
        u32 position = kUntouched;
        EXPECT_EQ(QEI_SetPosition(1, 77) && QEI_GetPosition(1, &position), has) << m.name;
        EXPECT_EQ(position, has ? 77u : kUntouched) << m.name;
        EXPECT_EQ(LinkLookups() > 0, has) << m.name;
    }
}

TEST(QeiHalvexctl, ReadWatchesTheShaftTurnBackwards) {
    ExpectHalvexctlRows({
        {"--virtual Trelo-11 qei read 1 --start --shaft -60 --watch --interval 250ms --for 500ms", 0,
         "0.250 s  position -1000 (FFFFFC18)  direction 1  velocity 4000\n0.500 s  position -2000"},
        {"--virtual Trelo-12 qei read 0", 3, ""},
    });
}

}  // namespace
}  // namespace hx::test
