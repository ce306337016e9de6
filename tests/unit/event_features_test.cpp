// CAN, DICOS and DT2 together, against each board's own virtual firmware:
// every board reports input changes and carries CAN frames exactly when its
// hardware has them (a wrong DICOS or CAN cell in the catalog fails); a
// burst of events split at every byte around answers while CAN frames flow;
// CAN_Stop with DICOS running; unload with all three running.
#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <tuple>

#include "core/state.h"
#include "halvex32.h"
#include "halvex32_service.h"
#include "mcu/receiver.h"
#include "sim/dio_field.h"
#include "sim/firmware/can_controller.h"
#include "sim/models.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Event = std::tuple<u32, u32, u32>;  // inputState, eventValue, sequence

Recorded<Event> g_events;
Recorded<CanMessage> g_messages;

void HX_CALLBACK OnDi(DiEventRecord* r) { g_events.Add({u32{r->inputState}, u32{r->eventValue}, u32{r->sequence}}); }  // packed: copies
void HX_CALLBACK OnCan(CanMessage* m, u32) { g_messages.Add(*m); }

u32 ThreadCount() {
    u32 n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

constexpr u32 kLoopback = 1;                // virtual controller setup word 0, bit 0
constexpr DicosSetup kEveryLine{0xFFFF, 0, 0};  // both edges of every line
constexpr Dt2Setup kIndexed{{0x01000C05, 1, 0x10001, 0x20001, 0, 0, 0, 0}};

class EventFeatures : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        g_events.Get(true), g_messages.Get(true);  // nothing of a test before
    }
    static bool StartDicos() {
        DicosSetup s = kEveryLine;
        return RegisterCallbackDICOS(OnDi) && SetupDICOS(&s, sizeof s) && StartDICOS();
    }
    static bool StartCan(CanReceivedCallbackFn callback) {
        u32 mode = kLoopback;
        return CAN_RegisterReceived(0, callback) && CAN_Setup(0, &mode, sizeof mode) && CAN_Start(0);
    }
};

// The board's own hardware decides: its MCU's DI event form, its CAN UART.
TEST_F(EventFeatures, EveryBoardReportsInputsAndCarriesCanAsItsHardwareDoes) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name);
        // A CAN controller sits in the MCU of every board with a CAN link, and
        // in Qantis-02's USB-attached MCU, whose platform gives the CAN link no
        // receive thread: there the setup (over the MCU link alone) works and
        // the start cannot.
        const bool can = m.can.attach != sim::UartAttach::None;
        const bool controller = can || m.mcuUsb.attach != sim::UartAttach::None;
        u32 mode = kLoopback;
        ASSERT_EQ(CAN_Setup(0, &mode, sizeof mode), controller) << m.name;
        ASSERT_EQ(StartCan(OnCan), can) << m.name;
        if (can) {
            CanMessage sent{0x1ABCDEF0, 1, 0x5A, 3, {7, 8, 9}};
            ASSERT_TRUE(CAN_Send(0, &sent, sizeof sent)) << m.name;
            const auto got = g_messages.Wait(1, true);
            ASSERT_EQ(got.size(), 1u) << m.name;
            sent.reserved = 0;
            EXPECT_EQ(std::memcmp(&got[0], &sent, sizeof sent), 0) << m.name;
        }
        const bool dicos = m.dio->mcuEvents != sim::DiEventForm::None;
        ASSERT_EQ(StartDicos(), dicos) << m.name;
        const bool shortForm = m.dio->mcuEvents == sim::DiEventForm::Message3;
        Edit([&](sim::SerialLinkState& s) {  // the start: in the older dialect where the MCU speaks it
            const sim::ReceivedFrame* start = dicos ? sim::ReceivedAt(s.mcu, s.mcu.framesReceived - 1) : nullptr;
            EXPECT_TRUE(!start || (start->kind == sim::RequestKind::ShortCommand) == shortForm) << m.name;
        });
        if (dicos && m.dio->inputs > 0) {
            sim::DriveFieldInput(2, true);  // a line that C1's compact setup does not name on a wide MCU
            const auto events = g_events.Wait(1, true);
            ASSERT_EQ(events.size(), 1u) << m.name;
            EXPECT_EQ(std::get<0>(events[0]) & 4, 4u) << m.name << ": line 2 active";
            EXPECT_EQ(std::get<1>(events[0]), 4u) << m.name << ": line 2 changed";
            EXPECT_EQ(std::get<2>(events[0]), 1u) << m.name;
        }
    }
}

// Event, answer, event, cut after every byte of the 21 while a CAN burst
// runs: each bit-timing query is answered, each event reaches the callback
// once and in order, and no CAN frame is lost or reordered.
TEST_F(EventFeatures, SplitEventsAroundAnswersWhileCanFramesFlow) {
    constexpr u32 kFrames = 3000, kPayload = 0x0001FFFE;  // line 0 changed, line 0 active
    LoadWithLinks("Trelo-11");
    g_next = g_lost = g_reordered = 0;
    ASSERT_TRUE(StartDicos() && StartCan(CountLoad));
    service::StartCanBurst(kFrames, 0x0F0);
    u32 sequence = 0;
    for (u32 cut = 1; cut < 3 * kFrameSize; ++cut) {
        Arm([&](sim::LinkFaultState& f) {
            f.burstAround = 1, f.burstCode = 0x30, f.burstPayload = kPayload, f.burstSplitAt = cut, f.splitGapMs = 2;
        });
        u32 timing = 0;
        EXPECT_TRUE(CAN_BitTimingGet(0, &timing, sizeof timing)) << cut;
        EXPECT_EQ(timing, sim::kCanDefaultBitRate) << cut;
        const auto events = g_events.Wait(2, true);
        // The second event of a burst carries payload + 1: line 0 inactive too.
        EXPECT_EQ(events, (std::vector<Event>{{1, 1, ++sequence}, {0, 1, ++sequence}})) << cut;
    }
    ASSERT_TRUE(WaitUntil([](auto&) { return g_next.load() == kFrames; }));
    EXPECT_EQ(g_lost.load() + g_reordered.load(), 0u);
}

// CAN_Stop leaves DICOS its receive thread; unload then stops CAN and DICOS
// with their frames on the wire, and every thread the features started ends.
TEST_F(EventFeatures, CanStopKeepsDicosAndUnloadEndsEverything) {
    for (const char* model : {"Trelo-05", "Trelo-11"}) {
        LoadWithLinks(model);
        const u32 threads = ThreadCount();
        Dt2Setup dt2 = kIndexed;
        ASSERT_TRUE(StartDicos() && StartCan(OnCan) && DT2_Setup(&dt2, sizeof dt2) && DT2_Start()) << model;
        ASSERT_TRUE(CAN_Stop(0)) << model;
        sim::DriveFieldInput(1, true);
        EXPECT_EQ(g_events.Wait(1, true).size(), 1u) << model << ": DI events go on after CAN_Stop";
        ASSERT_TRUE(CAN_Start(0)) << model;
        const u32 from = FramesReceived();
        Unload();
        EXPECT_EQ(FramesSince(from), (std::vector<Frame7>{MakeFrame(0x80, 0), MakeFrame(0x80, 0),
                                                          MakeFrame(0x30, 0), MakeFrame(0x30, 0)}))
            << model;
        EXPECT_EQ(ThreadCount(), threads) << model << ": a receive or DT2 event thread is left";
    }
}

}  // namespace
}  // namespace hx::test
