// Trigger I/O (T1 on Trelo-11 and Trelo-05, T2 on Trelo-06, T3 on Ondra-01)
// through the exports on the virtual board: the frames, units and records
// of the edge cases; the routing hooks after echoed starts and stops only;
// T3's hold line; T2 while DICOS runs; every board against its firmware's
// dialect; halvexctl.
#include <cstring>

#include "core/state.h"
#include "halvex32_service.h"
#include "sim/dio_board.h"
#include "tests/unit/mcu_fixture.h"
#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

using Frames = std::vector<Frame7>;
using Words = std::vector<u32>;
using sim::DioRoute;
constexpr u32 kHoldPad = 0xFED0C1E8;
const Words kRecord{5, 0, 0, 7}, kNoWrites{};

Words HoldWrites() {
    Words out;
    for (const sim::Access& a : LogOf(sim::AccessKind::PhysWrite)) if (a.address == kHoldPad) out.push_back(a.value);
    return out;
}
service::BoardTriggerBlock Dtio() { return service::GetBoardTriggerBlock(service::TriggerBlock::Dtio); }

u32 g_record[4];
struct EdgeCase { const char* model; Bool32 (*call)(); Bool32 result; Frames sent; std::pair<u16, u16> units; Words left; };
const EdgeCase kEdgeCases[] = {
    {"Trelo-11", [] { return SetUnitDTIO(3, 5); }, 1, {MakeFrame(0x64, 0xF5)}, {3, 0}, kRecord},
    {"Trelo-11", [] { return SetUnitDTFO(0xFFFF, 0xFFFFFFFF); }, 1, {MakeFrame(0x44, 0x4FFFAF)}, {0, 0xFFFF}, kRecord},
    {"Trelo-06", [] { return SetUnitDTIO(3, 5); }, 1, {MakeFrame(0x64, 0x50)}, {3, 0}, kRecord},
    {"Trelo-06", [] { return Bool32(SetUnitDTIO(3, 5) && !SetUnitDTIO(2622, 0)); }, 1, {MakeFrame(0x64, 0x50)}, {3, 0}, kRecord},
    {"Ondra-01", [] { return SetUnitDTFO(2621, 10); }, 1, {MakeFrame(0x44, 0xFFFF)}, {0, 2621}, kRecord},
    {"Trelo-06", [] { return SetUnitDTIO(1, 0xFFFFFFFF); }, 1, {MakeFrame(0x64, 24)}, {1, 0}, kRecord},
    {"Trelo-11", [] { return SetupDTIO(g_record, 0); }, 1, {}, {}, kRecord},
    {"Trelo-11", [] { return SetupDTFO(g_record, 5); }, 1, {MakeFrame(0x49, 5), MakeFrame(0x4A, 0)}, {}, kRecord},
    {"Trelo-11", [] { return SetupDTIO(nullptr, 8); }, 0, {}, {}, kRecord},
    {"Trelo-06", [] { return SetupDTIO(g_record, 12); }, 1,
     {MakeFrame(0x69, 5), MakeFrame(0x6A, 1), MakeFrame(0x6B, 1)}, {}, {5, 1, 1, 7}},
    {"Ondra-01", [] { return SetupDTFO(g_record, 13); }, 1,
     {MakeFrame(0x49, 5), MakeFrame(0x4A, 0), MakeFrame(0x4B, 1), MakeFrame(0x4C, 7)}, {}, {5, 0, 1, 7}},
    {"Trelo-06", [] { return SetupDTIO(g_record, 11); }, 0, {}, {}, kRecord},
    {"Trelo-06", [] { return SetupDTFO(nullptr, 12); }, 0, {}, {}, kRecord},
    {"Trelo-11", [] { return Bool32(StartDTIO() && StopDTFO()); }, 1,
     {{0x23, 0x63, 0, 0, 0, 0, 0x86}, {0x23, 0x41, 0, 0, 0, 0, 0x64}}, {}, kRecord},
    {"Trelo-06", [] { return Bool32(StartDTFO() && StopDTIO()); }, 1, {ShortFrame(0x43), ShortFrame(0x61)}, {}, kRecord},
    {"Ondra-01", [] { return Bool32(StartDTIO() && StopDTFO()); }, 1, {ShortFrame(0x63), ShortFrame(0x41)}, {}, kRecord},
};

class TriggerIo : public McuLinkTest {};

TEST_F(TriggerIo, EdgeCasesSendTheirFramesAndKeepTheirUnits) {
    for (const EdgeCase& c : kEdgeCases) {
        Reload(c.model);
        std::copy(kRecord.begin(), kRecord.end(), g_record);
        EXPECT_EQ(c.call(), c.result) << &c - kEdgeCases;
        EXPECT_EQ(FramesSince(0), c.sent) << &c - kEdgeCases;
        EXPECT_EQ(std::pair(GetUnitDTIO(), GetUnitDTFO()), c.units) << &c - kEdgeCases;
        EXPECT_EQ(Words(g_record, g_record + 4), c.left) << &c - kEdgeCases;
    }
}

// A start or stop that is not echoed leaves the routing as it was; T1 on a
// platform without hooks touches no GPIO.
TEST_F(TriggerIo, RoutingFollowsEchoedStartsAndStopsOnly) {
    for (const auto& [model, dio, trigger] : {std::tuple{"Trelo-05", DioRoute::kDio, DioRoute::kTrigger},
                                              {"Trelo-06", DioRoute::kDio, DioRoute::kTrigger},
                                              {"Trelo-11", DioRoute::kNone, DioRoute::kNone}}) {
        Reload(model);
        sim::ClearAccessLog(sim::TheBoardState());
        EXPECT_TRUE(StopDTFO());
        Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });
        EXPECT_FALSE(StartDTIO());
        EXPECT_EQ(sim::BoardDioRoute(), dio) << model;
        EXPECT_TRUE(StartDTIO());
        Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });
        EXPECT_FALSE(StopDTFO());
        EXPECT_EQ(sim::BoardDioRoute(), trigger) << model;
        EXPECT_TRUE(dio != DioRoute::kNone || LogOf(sim::AccessKind::PortWrite).empty()) << model;
    }
}

// The line is released by a pulse before each start and raised before each
// stop, also when the MCU does not answer; a raised line holds the blocks.
TEST_F(TriggerIo, T3PulsesTheHoldLineAndLeavesItHigh) {
    LoadWithLinks("Ondra-01");
    sim::ClearAccessLog(sim::TheBoardState());
    EXPECT_TRUE(StartDTIO() && Dtio().running && !Dtio().held);
    EXPECT_EQ(HoldWrites(), (Words{1, 0}));
    Arm([](sim::LinkFaultState& f) { f.dropAnswers = 2; });
    EXPECT_FALSE(StopDTIO());
    EXPECT_TRUE(Dtio().held && !Dtio().running);
    EXPECT_FALSE(StartDTFO());
    EXPECT_EQ(HoldWrites(), (Words{1, 0, 1, 1, 0}));
    EXPECT_FALSE(Dtio().held);
}

// The prepare's echo comes back as a short command, which no receive thread
// hands over as it was sent: a start or setup while DICOS runs fails after
// the prepare, before anything of the block, and DICOS runs on.
TEST_F(TriggerIo, T2WithDicosRunningSendsThePrepareOnly) {
    LoadWithLinks("Trelo-06");
    DicosSetup s{1, 0, 0};
    ASSERT_TRUE(SetupDICOS(&s, sizeof s) && StartDICOS());
    const u32 from = FramesReceived();
    std::copy(kRecord.begin(), kRecord.end(), g_record);
    EXPECT_FALSE(StartDTIO() || SetupDTFO(g_record, 16));
    EXPECT_EQ(FramesSince(from), (Frames{ShortFrame(0x62), ShortFrame(0x42)}));
    EXPECT_EQ(Words(g_record, g_record + 4), kRecord);
    EXPECT_EQ(DicosStarted.load(), 1);
}

// The board's firmware decides: framed boards take T1 (unit word 245 for
// SetUnitDTIO(3, 5), an empty setup), the older dialect T2 (word 80, no
// empty setup), Ondra-01's held blocks T3 with its hold line; a board
// without trigger I/O sees nothing of the exports.
TEST_F(TriggerIo, EveryBoardRunsTheFamilyOfItsFirmware) {
    // Unit word, empty setup, start and stop, hold line writes, whether the board saw any of it.
    using Outcome = std::tuple<u32, Bool32, bool, Words, bool>;
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name);
        const u32 before = LinkLookups() + FramesReceived();
        const sim::TriggerDialect d = m.mcuFunctions ? m.mcuFunctions->trigger : sim::TriggerDialect::None;
        const Outcome expected = d == sim::TriggerDialect::Framed      ? Outcome{245, 1, true, kNoWrites, true}
                                 : d == sim::TriggerDialect::Short     ? Outcome{80, 0, true, kNoWrites, true}
                                 : d == sim::TriggerDialect::ShortHeld ? Outcome{80, 0, true, {1, 0, 1}, true}
                                                                       : Outcome{0, 0, false, kNoWrites, false};
        const u32 unitWord = SetUnitDTIO(3, 5) ? Dtio().unitWord : 0;
        const Bool32 setup = SetupDTIO(g_record, 0);
        const bool runs = StartDTIO() && Dtio().running && StopDTIO() && !Dtio().running;
        const bool seen = LinkLookups() + FramesReceived() != before;
        EXPECT_EQ(Outcome(unitWord, setup, runs, HoldWrites(), seen), expected) << m.name;
    }
}

TEST(TriggerIoHalvexctl, SetupPrintsTheRecordAndTheBlock) {
    const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " --virtual Trelo-06 dtio setup 5 0 0");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "record 5 1 1\nboard DTIO: stopped, unit word 0 (tick 0.0 ns), setup 5 1 1, prepares 0, "
                     "firmware short\nrouting: off\n");
}

}  // namespace
}  // namespace hx::test
