// The receive threads over the virtual board's pseudo-terminals: what the
// application's callbacks get for the bytes the MCU and the CAN controller
// send, answers handed to the exchanges (also between event frames cut at
// every byte), the DT2 event thread, and stops that always end the threads.
#include <unistd.h>

#include <tuple>

#include "halvex32.h"
#include "mcu/receiver.h"
#include "sim/firmware/can_controller.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Bytes = std::vector<u8>;
using RX = RxThreadKind;

// One callback as it was called: kind, then its arguments.
using Seen = std::tuple<char, u32, u32, u32>;

Recorded<Seen> g_seen;
std::atomic<int> g_exchanged{-1};


void HX_CALLBACK OnDicos(DiEventRecord* r) { g_seen.Add({'D', u32{r->inputState}, u32{r->eventValue}, u32{r->sequence}}); }
void HX_CALLBACK OnPwm(u32 generator, u32 status) { g_seen.Add({'P', generator, status, 0}); }
void HX_CALLBACK OnCanStatus(u32 status) { g_seen.Add({'S', status, 0, 0}); }
void HX_CALLBACK OnCan(CanMessage* m, u32 size) { g_seen.Add({'C', u32{m->id}, u32{m->data[2]} << 24 | u32{m->length} << 16 | m->flags, size}); }
void HX_CALLBACK OnDt2(u32 value) { g_seen.Add({'T', value, 0, 0}); }
void Query() { g_exchanged.store(VersionAnswered()); }
void HX_CALLBACK QueryFromPwm(u32, u32) { Query(); }
void HX_CALLBACK QueryFromDt2(u32) { Query(); }

constexpr u32 kMarker = 0xFEED;
const Bytes kDiFrame = {0x40, 0x30, 0x05, 0x01, 0x00, 0x00, 0x76};

class Receiver : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        g_seen.Get(true);
        LoadAndOpen();
        ASSERT_TRUE(RegisterCallbackDICOS(OnDicos) && PWM_RegisterStatus(OnPwm) && CAN_RegisterStatus(0, OnCanStatus) &&
                    CAN_RegisterReceived(0, OnCan) && DT2_EiRegisterIndexed(OnDt2));
    }
    // A fresh run of the link's thread with body `kind`, reading.
    static void Run(RX kind) {
        McuLink& link = kind == RX::CanReceiver ? serialPortCan : serialPortMcu;
        StopLinkReceiver(link);
        link.rxThreadProc.store(kind);
        ASSERT_TRUE(&link == &serialPortCan ? StartCanReceiver() : StartMcuReceiver());
        while (!link.rxRunning.load()) usleep(1000);
        g_seen.Get(true);
    }
    static bool WaitFor(Seen last) {
        for (int i = 0; i < 2000 && (g_seen.Get().empty() || !(g_seen.Get().back() == last)); ++i) usleep(1000);
        return !g_seen.Get().empty() && g_seen.Get().back() == last;
    }
    // The calls for `writes`; a marker sent behind them tells when the thread
    // has taken everything before it.
    static std::vector<Seen> CallsFor(sim::LinkRole role, const std::vector<Bytes>& writes) {
        for (const Bytes& w : writes) EXPECT_TRUE(sim::SendLinkBytes(role, w.data(), static_cast<u32>(w.size())));
        const bool can = role == sim::LinkRole::Can;
        EXPECT_TRUE(can ? sim::SendCanMessage({kMarker, 0, 0, {}}) : sim::EmitMcuEvent(0x61, kMarker));
        EXPECT_TRUE(WaitFor(can ? Seen{'C', kMarker, 0, kCanFrameSize} : Seen{'S', kMarker, 0, 0}));
        auto seen = g_seen.Get();
        if (!seen.empty()) seen.pop_back();
        return seen;
    }
};

TEST_F(Receiver, StreamsGiveTheCallbacksExactlyTheirFrames) {
    Bytes can(kCanFrameSize);
    sim::BuildCanWireFrame({0x18FF0102, 0x0004, 3, {0xDE, 0xAD, 0xBE}}, can.data());
    const Seen di16{'D', 0xFEFA, 0, 1}, canIn{'C', 0x18FF0102, 0xBE030004, kCanFrameSize};
    struct Row { const char* name; RX kind; std::vector<Bytes> writes; std::vector<Seen> expected; } const rows[] = {
        {"DI change, 8-bit variant", RX::McuEvents8, {kDiFrame}, {{'D', 5, 1, 1}}},
        {"DI change, 16-bit variant", RX::McuEvents16, {kDiFrame}, {di16}},
        {"sequence counts within a run", RX::McuEvents16, {kDiFrame, kDiFrame}, {di16, {'D', 0xFEFA, 0, 2}}},
        {"PWM status", RX::McuEvents16, {{0x40, 0x41, 0x11, 0x22, 0x33, 0x44, 0x2B}}, {{'P', 0x44, 0x332211, 0}}},
        {"code 42h is ignored", RX::McuEvents16, {{0x40, 0x42, 0, 0, 0, 0, 0x82}}, {}},
        {"bad checksum", RX::McuEvents16, {{0x40, 0x30, 0x05, 0x01, 0, 0, 0x77}}, {}},
        {"noise before a frame", RX::McuEvents16, {{0x00, 0x11}, kDiFrame}, {di16}},
        {"lead byte opening a read drops the partial frame", RX::McuEvents16, {{0, 0, 0, 0, 0, 0, 0x40}, kDiFrame}, {di16}},
        {"lead byte inside a read is payload", RX::McuEvents16, {{0x40, 0x30, 0x40, 0x01, 0, 0, 0xB1}}, {{'D', 0xFEBF, 0, 1}}},
        {"CAN frame in 10 + 6 bytes", RX::CanReceiver, {{can.begin(), can.begin() + 10}, {can.begin() + 10, can.end()}}, {canIn}},
        {"CAN noise then a frame", RX::CanReceiver, {{0x00, 0x11, 0x22}, can}, {canIn}},
    };
    for (const Row& row : rows) {
        Run(row.kind);
        EXPECT_EQ(CallsFor(row.kind == RX::CanReceiver ? sim::LinkRole::Can : sim::LinkRole::Mcu, row.writes), row.expected) << row.name;
    }
}

// 00 23 30 00 00 00 00 53 is read as 7 bytes and then 1; a stale answer
// (handed over to nobody) is not taken by the next exchange; an echo that
// differs fails.
TEST_F(Receiver, AnswersReachTheirExchangeThroughTheThread) {
    Run(RX::McuEvents16);
    Arm([](sim::LinkFaultState& f) { f.noiseBefore = f.noiseBytes = 1; });
    EXPECT_TRUE(McuCommand(0x30, 0));
    Edit([](sim::SerialLinkState& s) { s.mcu.diActive = 0x0001; });
    Arm([](sim::LinkFaultState& f) { f.delayAnswers = 1, f.delayMs = 100; });
    const os::Handle handedOver = serialPortMcu.answerEvent.load();
    os::EventReset(handedOver);
    Inject(MakeFrame(0x35, 0x1234));
    ASSERT_EQ(os::WaitAny(&handedOver, 1, kAnswerTimeoutMs), 0);
    u32 word = 0xFFFF0000;
    ASSERT_TRUE(McuQuery(0x35, &word));
    EXPECT_EQ(word, 0xFFFFFFFEu);
    Arm([](sim::LinkFaultState& f) { f.otherCode = 1; });
    EXPECT_FALSE(McuCommand(0x37, 0x00010001));
}

TEST_F(Receiver, AnAnswerBetweenTwoEventsCutAtAnyByteReachesItsExchange) {
    Run(RX::McuEvents16);
    for (u32 cut = 0; cut <= 3 * kFrameSize; ++cut) {
        Arm([&](sim::LinkFaultState& f) { f.burstAround = 1, f.burstCode = 0x61, f.burstPayload = f.burstSplitAt = cut, f.splitGapMs = 2; });
        Query();
        EXPECT_EQ(g_exchanged.load(), 1) << cut;
        EXPECT_TRUE(WaitFor({'S', cut + 1, 0, 0})) << cut;
        EXPECT_EQ(g_seen.Get(true), (std::vector<Seen>{{'S', cut, 0, 0}, {'S', cut + 1, 0, 0}})) << cut;
    }
}

TEST_F(Receiver, TwoDt2EventsEndWithOneCallbackOfTheSecondValue) {
    Run(RX::McuEvents16);
    ASSERT_TRUE(StartDt2EventThread());
    ASSERT_TRUE(sim::EmitMcuEvent(0x21, 1) && sim::EmitMcuEvent(0x21, 2));
    ASSERT_TRUE(WaitFor({'T', 2, 0, 0}));
    for (const Seen& s : g_seen.Get()) EXPECT_TRUE((s == Seen{'T', 1, 0, 0} || s == Seen{'T', 2, 0, 0}));
}

// On the MCU receive thread an exchange cannot be answered and fails after
// its time-out; on the DT2 event thread it works.
TEST_F(Receiver, ExchangesFromCallbacksFailOnTheReceiveThreadAndWorkOnTheDt2Thread) {
    Run(RX::McuEvents16);
    ASSERT_TRUE(StartDt2EventThread() && PWM_RegisterStatus(QueryFromPwm) && DT2_EiRegisterIndexed(QueryFromDt2));
    for (const auto& [event, answered] : {std::pair{0x41, 0}, std::pair{0x21, 1}}) {
        g_exchanged.store(-1);
        ASSERT_TRUE(sim::EmitMcuEvent(static_cast<u8>(event), 0));
        while (g_exchanged.load() < 0) usleep(1000);
        EXPECT_EQ(g_exchanged.load(), answered) << event;
    }
}

// Stopped while blocked in a read, or before it first ran: the thread has
// ended when the stop returns (an abandoned one would still take the event
// below), and the link is read directly again. No body, no thread.
TEST_F(Receiver, AStopEndsTheThreadWhereverItIs) {
    for (const bool settled : {true, false, false, false}) {
        serialPortMcu.rxThreadProc.store(RX::McuEvents16);
        ASSERT_TRUE(StartMcuReceiver());
        while (settled && !serialPortMcu.rxRunning.load()) usleep(1000);
        StopLinkReceiver(serialPortMcu);
        EXPECT_EQ(serialPortMcu.rxThread.load() | serialPortMcu.rxRunning.load(), 0u);
        ASSERT_TRUE(sim::EmitMcuEvent(0x61, kMarker));
        EXPECT_TRUE(McuCommand(0x37, 0));
        EXPECT_TRUE(g_seen.Get().empty());
    }
    serialPortMcu.rxThreadProc.store(RX::None);
    EXPECT_FALSE(StartMcuReceiver() || os::HandleIsOpen(serialPortMcu.rxThread.load()));
}

// The port vanishes under the running thread: its reads fail until the stop,
// which still ends it. A CAN thread whose link cannot be opened ends at once
// and never marks the link as served.
TEST_F(Receiver, ThreadsWithoutAPortEndCleanly) {
    Run(RX::McuEvents16);
    sim::TakeLinkAway(sim::LinkRole::Mcu);
    usleep(50000);  // a few failed reads
    StopLinkReceiver(serialPortMcu);
    EXPECT_EQ(serialPortMcu.rxThread.load() | serialPortMcu.rxRunning.load(), 0u);

    CloseLinkPort(serialPortCan);
    sim::TakeLinkAway(sim::LinkRole::Can);
    serialPortCan.rxThreadProc.store(RX::CanReceiver);
    ASSERT_TRUE(StartCanReceiver());
    EXPECT_TRUE(os::ThreadWait(serialPortCan.rxThread.load(), kAnswerTimeoutMs));
    EXPECT_EQ(serialPortCan.rxRunning.load(), 0u);
    StopLinkReceiver(serialPortCan);
}

}  // namespace
}  // namespace hx::test
