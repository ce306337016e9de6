// The hand-over path of the exchanges while a receive thread owns the reads:
// the exchange resets McuLink::answerEvent, clears frameBuf, sends, and takes
// the answer from frameBuf once the receive thread has stored it there and
// set the event. The stand-in receive thread hands every frame over.
#include <unistd.h>

#include <atomic>

#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

std::atomic<u32> g_handedOver{0};

void HandEveryFrameOver(void* raw) {
    McuLink& link = *static_cast<McuLink*>(raw);
    link.rxRunning.store(1);
    u8 frame[kTransactBufferSize] = {};
    while (link.rxRunning.load()) {
        u32 got = 0;
        if (!LinkRead(link, frame, kFrameSize, &got, os::kInfinite)) continue;
        StoreFrameBuf(link, frame, kTransactBufferSize);
        g_handedOver.fetch_add(1);  // counted before the waiter can wake
        os::EventSet(link.answerEvent.load());
    }
}

class HandOver : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        g_handedOver.store(0);
        LoadAndOpen();
        ASSERT_TRUE(PrepareLinkEvents(serialPortMcu));
        const os::Handle t = os::ThreadStart(HandEveryFrameOver, &serialPortMcu);
        ASSERT_TRUE(os::HandleIsOpen(t));
        serialPortMcu.rxThread.store(t);
        while (!serialPortMcu.rxRunning.load()) usleep(1000);
    }
    void TearDown() override {
        StopLinkReceiver(serialPortMcu);
        McuLinkTest::TearDown();
    }
};

TEST_F(HandOver, QueryAndCommandAnswersComeThroughTheReceiveThread) {
    u32 version = 0;
    ASSERT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, sim::kFirmwareVersion);
    EXPECT_TRUE(McuCommand(0x37, 0x00040004));
    EXPECT_EQ(g_handedOver.load(), 2u);
    u16 outputs = 0;
    Edit([&](sim::SerialLinkState& s) { outputs = s.mcu.doOn; });
    EXPECT_EQ(outputs, 0x0004);
}

// answerEvent is manual-reset and stays set after an exchange; a late answer
// handed over to nobody sets it again. The next exchange must wait for its
// own answer (held back 100 ms, so that only a wait can get it).
TEST_F(HandOver, AStaleAnswerHandedOverAfterAnExchangeIsNotTakenByTheNextOne) {
    u32 version = 0;
    ASSERT_TRUE(McuQuery(0xFF, &version));
    Edit([](sim::SerialLinkState& s) { s.mcu.diActive = 0x0001; });
    Arm([](sim::LinkFaultState& f) {
        f.delayAnswers = 1;
        f.delayMs = 100;
    });
    Inject(MakeFrame(0x35, 0x1234));
    while (g_handedOver.load() < 2) usleep(1000);
    u32 word = 0xFFFF0000;
    ASSERT_TRUE(McuQuery(0x35, &word));
    EXPECT_EQ(word, 0xFFFFFFFEu);
}

TEST_F(HandOver, AnEchoThatDiffersFailsTheCommand) {
    Arm([](sim::LinkFaultState& f) { f.otherCode = 1; });
    EXPECT_FALSE(McuCommand(0x37, 0x00010001));
}

}  // namespace
}  // namespace hx::test
