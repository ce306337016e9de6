// The hand-over paths of the exchanges while a receive thread owns the reads,
// driven by a stand-in receive thread that reassembles 7-byte frames, hands
// answer frames over through frameBuf and answerEvent, and skips events.
#include <unistd.h>

#include <atomic>

#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

std::atomic<u32> g_handedOver{0};
std::atomic<u32> g_eventsSeen{0};

void Feeder(void* raw) {
    McuLink& link = *static_cast<McuLink*>(raw);
    link.rxRunning.store(1);
    u8 frame[kTransactBufferSize] = {};
    while (link.rxRunning.load()) {
        u32 got = 0;
        if (!LinkRead(link, frame, kFrameSize, &got, os::kInfinite)) continue;
        if (frame[kFrameChecksum] != FrameChecksum(frame)) continue;
        if (frame[kFrameLead] == kLeadEvent) {
            g_eventsSeen.fetch_add(1);
            continue;
        }
        StoreFrameBuf(link, frame, kTransactBufferSize);
        g_handedOver.fetch_add(1);  // counted before the waiter can wake
        os::EventSet(link.answerEvent.load());
    }
}

class HandOver : public McuLinkTest {
protected:
    void StartFeeder() {
        LoadAndOpen();
        ASSERT_TRUE(PrepareLinkEvents(serialPortMcu));
        const os::Handle t = os::ThreadStart(Feeder, &serialPortMcu);
        ASSERT_TRUE(os::HandleIsOpen(t));
        serialPortMcu.rxThread.store(t);
        while (!serialPortMcu.rxRunning.load()) usleep(1000);
    }
    void TearDown() override {
        StopLinkReceiver(serialPortMcu);
        McuLinkTest::TearDown();
    }
    static void WaitHandedOver(u32 count) {
        while (g_handedOver.load() < count) usleep(1000);
    }
};

TEST_F(HandOver, QueryAndCommandAnswersComeThroughTheReceiveThread) {
    StartFeeder();
    u32 version = 0;
    ASSERT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, sim::kFirmwareVersion);
    EXPECT_TRUE(McuCommand(0x37, 0x00040004));
    EXPECT_EQ(g_handedOver.load(), 2u);
    u16 outputs = 0;
    Edit([&](sim::SerialLinkState& s) { outputs = s.mcu.doOn; });
    EXPECT_EQ(outputs, 0x0004);
}

TEST_F(HandOver, EventFramesAroundAnExchangeDoNotDisturbIt) {
    StartFeeder();
    ASSERT_TRUE(sim::EmitMcuEvent(0x41, 0x44332211));
    EXPECT_TRUE(McuCommand(0x37, 0x00010001));
    ASSERT_TRUE(sim::EmitMcuEvent(0x30, 0x0105));
    u32 version = 0;
    EXPECT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(g_eventsSeen.load(), 2u);
}

TEST_F(HandOver, AnAnswerHandedOverWhileNoExchangeWaitsIsNotTakenByTheNextOne) {
    StartFeeder();
    Edit([](sim::SerialLinkState& s) { s.mcu.diActive = 0x0001; });
    Inject(MakeFrame(0x35, 0x1234));  // a late answer, handed over to nobody
    WaitHandedOver(1);
    u32 word = 0xFFFF0000;
    ASSERT_TRUE(McuQuery(0x35, &word));
    EXPECT_EQ(word, 0xFFFFFFFEu);
}

TEST_F(HandOver, AnEchoThatDiffersFailsTheCommand) {
    StartFeeder();
    Arm([](sim::LinkFaultState& f) { f.otherCode = 1; });
    EXPECT_FALSE(McuCommand(0x37, 0x00010001));
}

TEST_F(HandOver, SlowAnswerWithABadChecksumIsNeverHandedOver) {
    StartFeeder();
    Arm([](sim::LinkFaultState& f) { f.corruptChecksum = 1; });
    u32 version = 5;
    EXPECT_FALSE(McuQuery(0xFF, &version));  // waits out the 1000 ms hand-over
    EXPECT_EQ(version, 5u);
}

}  // namespace
}  // namespace hx::test
