// DT2 (E1, E2) through the exports on the virtual board: the setup words the
// firmware received after the source codes were mapped, the unit, result,
// start and stop frames with the routing hooks, the status lines a device
// on the board's pads sees, and indexed events from the firmware's trigger
// lines answered from the callback.
#include <unistd.h>

#include <bit>
#include <cstring>

#include "halvex32_service.h"
#include "sim/dio_board.h"
#include "sim/dt2_board.h"
#include "sim/firmware/dt2_engine.h"
#include "tests/unit/halvexctl_rows.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Words = std::vector<u32>;
constexpr Words kNothingSent{};

class Dt2 : public McuLinkTest {
protected:
    // The payloads of the setup frames 53h..5Ah received from frame `from` on.
    static Words SetupWordsSince(u32 from) {
        Words words;
        for (const Frame7& f : FramesSince(from)) {
            EXPECT_EQ(f[1], 0x53 + words.size());
            words.push_back(FramePayload(f.data()));
        }
        return words;
    }
};

struct SetupCase { const char* model; u32 size, w0, w2, w3; Bool32 result; Words sent; };
// Words 1 and 4..7 are 11h, 44h..77h; `sent` is empty when nothing may go out.
const SetupCase kSetupCases[] = {
    {"Trelo-11", 31, 0x01000000, 0x10001, 0x20800, 0, kNothingSent},
    {"Trelo-11", 33, 0x01000000, 0x10001, 0x20800, 0, kNothingSent},
    {"Trelo-11", 32, 0x01000000, 0x10001, 0x20800, 1, {0x01000000, 0x11, 1, 0x80000, 0x44, 0x55, 0x66, 0x77}},
    {"Qantis-02", 32, 0x02000000, 0x40000002, 0x80000001, 1, {0x02000000, 0x11, 0x20000000, 0x40000000, 0x44, 0x55, 0x66, 0x77}},
    {"Trelo-05", 32, 0x01000000, 0x200001, 0x40002, 1, {0x01000000, 0x11, 0x400000, 0x20000, 0x44, 0x55, 0x66, 0x77}},
    {"Trelo-16", 32, 0x00000000, 0x10001, 0x12345678, 1, {0, 0x11, 0, 0x12345678, 0x44, 0x55, 0x66, 0x77}},
    {"Trelo-16", 32, 0x04000000, 0xDEAD, 0x20800, 1, {0x04000000, 0x11, 0, 0x80000, 0x44, 0x55, 0x66, 0x77}},
    {"Trelo-16", 32, 0x04000000, 0x10001, 0x12345, 0, kNothingSent},
    {"Trelo-11", 32, 0x01000000, 0x10100, 0x20800, 0, kNothingSent},
    {"Trelo-05", 32, 0x01000000, 0x10001, 0x20800, 0, kNothingSent},  // 20800h is not in map A
    {"Vexa-06", 32, 0x01000000, 0x10001, 0x20800, 0, kNothingSent},
    {"Vexa-06", 32, 0x00000000, 0x10001, 0x20800, 1, {0, 0x11, 0, 0x20800, 0x44, 0x55, 0x66, 0x77}},
    // Vexa-06 has no DT2 event thread: the words are sent, then the setup fails.
    {"Vexa-06", 32, 0x00000400, 0, 5, 0, {0x400, 0x11, 0, 5, 0x44, 0x55, 0x66, 0x77}},
};

TEST_F(Dt2, SetupSendsTheMappedCopyAndLeavesTheRecord) {
    for (const SetupCase& c : kSetupCases) {
        Reload(c.model);
        Dt2Setup record{{c.w0, 0x11, c.w2, c.w3, 0x44, 0x55, 0x66, 0x77}};
        const Dt2Setup before = record;
        EXPECT_EQ(DT2_Setup(&record, c.size), c.result) << &c - kSetupCases;
        EXPECT_EQ(SetupWordsSince(0), c.sent) << &c - kSetupCases;
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << &c - kSetupCases;
    }
}

// Exact frames of unit (wrapping), result, start and stop; the routing hook
// of Trelo-05 runs after an echoed start or stop only; the E2 boards have
// none, and no default is filled in.
TEST_F(Dt2, UnitResultStartStopFramesAndHooks) {
    for (const char* model : {"Trelo-05", "Trelo-11", "Vexa-06"}) {
        Reload(model);
        const bool routed = std::string(model) == "Trelo-05";
        EXPECT_TRUE(DT2_SetUnit(0x10001, 0) && DT2_GetUnit() == 1);
        EXPECT_TRUE(DT2_SetUnit(0xFFFFFFFF, 100) && DT2_GetUnit() == 0xFFFF);
        EXPECT_TRUE(DT2_EiSendResult(3, 200));
        EXPECT_TRUE(DT2_Start());
        EXPECT_EQ(sim::BoardDioRoute(), routed ? sim::DioRoute::kTrigger : sim::DioRoute::kNone) << model;
        Arm([](sim::LinkFaultState& f) { f.dropAnswers = 2; });
        EXPECT_FALSE(DT2_Stop() || DT2_SetUnit(7, 0));
        EXPECT_EQ(sim::BoardDioRoute(), routed ? sim::DioRoute::kTrigger : sim::DioRoute::kNone) << model;
        EXPECT_EQ(DT2_GetUnit(), 0xFFFF);
        EXPECT_TRUE(DT2_Stop());
        EXPECT_EQ(sim::BoardDioRoute(), routed ? sim::DioRoute::kDio : sim::DioRoute::kNone) << model;
        for (const sim::Access& a : LogOf(sim::AccessKind::PortWrite)) EXPECT_TRUE(a.address != 0x50C && a.address != 0x50E) << model;
        const std::vector<Frame7> sent{MakeFrame(0x52, 0x500050), MakeFrame(0x52, 20),
                                       {0x23, 0x5F, 0x03, 0xC8, 0x00, 0x00, 0x4D}, {0x23, 0x51, 0, 0, 0, 0, 0x74},
                                       {0x23, 0x50, 0, 0, 0, 0, 0x73}, MakeFrame(0x52, 7 * 80),
                                       {0x23, 0x50, 0, 0, 0, 0, 0x73}};
        EXPECT_EQ(FramesSince(0), sent) << model;
        EXPECT_FALSE(sim::ReadDt2Engine().running) << model;
    }
}

std::vector<u32> PhysWrites() {
    std::vector<u32> out;
    for (const sim::Access& a : LogOf(sim::AccessKind::PhysWrite)) out.push_back(a.address), out.push_back(a.value);
    return out;
}

// Line n of the status connector at bit n: high, and driven by the board.
std::pair<u32, u32> StatusLines() {
    std::pair<u32, u32> lines{};
    for (u32 n = 0; n < service::BoardStatusLineCount(); ++n) {
        const service::BoardStatusLine l = service::GetBoardStatusLine(n);
        lines.first |= u32{l.high} << n, lines.second |= u32{l.output} << n;
    }
    return lines;
}

struct PadCase { const char* model; u32 mask, value, pushWrites; std::pair<u32, u32> afterPush; u32 outside, pulled; std::pair<u32, u32> afterPull; };
// E1: lines SO0..SO8 are 0..8, SI0..SI7 9..16; E2: ST0..ST3. `outside`: lines
// a device drives high (the others it drives low).
const PadCase kPadCases[] = {
    {"Trelo-05", 0, 0x1FF, 9, {0x001FF, 0x1FF}, 0x14A00, 0xA5, {0x14BFF, 0x1FF}},
    {"Trelo-05", 0xFFFF, 0x0AA, 9, {0x000AA, 0x1FF}, 0x1FE00, 0xFF, {0x1FEAA, 0x1FF}},
    {"Trelo-11", 2, 3, 1, {0x2, 0xF}, 0xC, 3, {0xE, 0x3}},
    {"Trelo-16", 3, 1, 2, {0x1, 0xF}, 0x4, 1, {0x5, 0x3}},
    {"Vexa-06", 0, 3, 0, {0x0, 0xF}, 0x8, 2, {0x8, 0x3}},
};

TEST_F(Dt2, StatusPadsAsADeviceOnTheLinesSeesThem) {
    for (const PadCase& c : kPadCases) {
        Reload(c.model, false);
        sim::ClearAccessLog(sim::TheBoardState());
        EXPECT_TRUE(DT2_StPush(c.mask, c.value));
        EXPECT_EQ(PhysWrites().size(), 2 * c.pushWrites) << c.model;
        EXPECT_EQ(StatusLines(), c.afterPush) << c.model;
        for (u32 n = 0; n < service::BoardStatusLineCount(); ++n) service::DriveBoardStatusLine(n, c.outside >> n & 1);
        u32 pulled = 0xFFFFFFFF;
        EXPECT_TRUE(DT2_StPull(&pulled));
        EXPECT_EQ(pulled, c.pulled) << c.model;
        EXPECT_EQ(StatusLines(), c.afterPull) << c.model;
    }
}

// A wrong DT2 family on a board drives pads it does not have and leaves its
// own lines as they were: on every board, every status line is driven high
// from outside and by the library, and every line the board samples reads 1.
TEST_F(Dt2, EveryBoardDrivesAndSamplesItsOwnStatusLines) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name, false);
        const u32 count = service::BoardStatusLineCount();
        for (u32 n = 0; n < count; ++n) service::DriveBoardStatusLine(n, 1);
        u32 pulled = 0;
        EXPECT_EQ(DT2_StPush(~0u, ~0u) && DT2_StPull(&pulled), count > 0) << m.name;
        const auto [high, outputs] = StatusLines();
        EXPECT_EQ(high, (1u << count) - 1) << m.name;
        EXPECT_EQ(pulled, (1u << std::popcount(high & ~outputs)) - 1) << m.name;
    }
}

// The words the library writes keep the pad's other bits: E2 pads switch
// from output to input and back; E1 changes bit 0 only.
TEST_F(Dt2, PadWordsChangeOnlyTheirControlBits) {
    Reload("Trelo-11", false);
    sim::ClearAccessLog(sim::TheBoardState());
    u32 pulled = 0;
    EXPECT_TRUE(DT2_StPush(2, 3) && DT2_StPull(&pulled) && DT2_StPull(&pulled));
    EXPECT_EQ(PhysWrites(), (std::vector<u32>{0xFDAE04C8, 0x44000201, 0xFDAE04D0, 0x44000100, 0xFDAE0578, 0x44000100}));
    Reload("Trelo-05", false);
    sim::ClearAccessLog(sim::TheBoardState());
    EXPECT_TRUE(DT2_StPush(0, 0x100));
    EXPECT_EQ(PhysWrites()[1], 0x4u);
    EXPECT_EQ(PhysWrites()[17], 0x5u);
}

std::atomic<u32> g_answered{0};
void HX_CALLBACK AnswerIndex(u32 event) {
    const u8 index = static_cast<u8>(event);
    if (DT2_EiSendResult(index, static_cast<u8>(event >> 8 | 0x80))) g_answered.fetch_add(1);
}

// Each firing of a reported source line reaches the callback on the DT2
// event thread, whose result goes back to the firmware for that index. With
// one event allowed to wait, the engine holds the next report until the
// result comes, so none is lost.
TEST_F(Dt2, IndexedEventsAreAnsweredFromTheCallback) {
    for (const char* model : {"Trelo-05", "Trelo-11", "Qantis-02", "Trelo-16"}) {
        Reload(model);
        ASSERT_TRUE(DT2_EiRegisterIndexed(AnswerIndex));
        g_answered.store(0);
        // Start index 5, both sources reported, one event waiting at most; line 0
        // (10001h) and line 8 (20001h) in both maps.
        Dt2Setup record{{0x01000C05, 1, 0x10001, 0x20001, 0, 0, 0, 0}};
        ASSERT_TRUE(DT2_Setup(&record, sizeof record)) << model;
        ASSERT_TRUE(DT2_Start()) << model;
        for (const auto& [lines, answered] : {std::pair{0x109u, 2u}, std::pair{0x100u, 3u}}) {
            EXPECT_EQ(sim::FireDt2Lines(lines), 1u) << model;
            for (int i = 0; i < 2000 && g_answered.load() < answered; ++i) usleep(1000);
        }
        const sim::Dt2EngineState e = sim::ReadDt2Engine();
        EXPECT_EQ(std::tuple(e.raised, e.answered, e.waitingCount, g_answered.load()), std::tuple(3u, 3u, 0u, 3u)) << model;
        u8 result = 0;
        for (const auto& [index, expected] : {std::pair<u8, u8>{5, 0x80}, {6, 0x88}, {7, 0x88}}) {
            EXPECT_TRUE(sim::Dt2ResultOf(e, index, &result) && result == expected) << model << " " << int{index};
        }
    }
}

// halvexctl dt2: the event held behind index 05 goes out only once the tool
// answered 05; pull and push show the lines a device sees; a failed setup
// exits 1, a model without DT2 exits 3.
TEST(Dt2Halvexctl, CommandsDriveTheEngineAndTheLines) {
    ExpectHalvexctlRows({
        {"--virtual Trelo-11 dt2 watch --setup 0x01000C05 1 0x10001 0x20001 --fire 0x101 --answer 0x42 --for 300ms", 0,
         "DT2 indexed  index 06  payload 00020806  answered 42\n"},
        {"--virtual Qantis-02 dt2 pull --drive ST3=1", 0, "status inputs 02\nlines: ST0=0(out) ST1=0(out) ST2=0(in) ST3=1(in)\n"},
        {"--virtual Trelo-05 dt2 push 0 0x101", 0, "SO0=1(out) SO1=0(out) SO2=0(out) SO3=0(out) SO4=0(out) SO5=0(out) SO6=0(out) SO7=0(out) SO8=1(out)"},
        {"--virtual Trelo-11 dt2 unit 0x10001 5", 0, "unit 1\n"},
        {"--virtual Vexa-06 dt2 setup 0x01000000 0 0x10001", 1, ""},
        {"--virtual Trelo-12 dt2 start", 3, ""},
    });
}

}  // namespace
}  // namespace hx::test
