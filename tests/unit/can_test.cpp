// CAN family N1 through the exports, against the virtual board's CAN
// controller: the frames on both links, the size rules, the callbacks (also
// calling back into the library), a burst from the bus, and the stop paths.
#include <unistd.h>

#include <cstring>
#include <functional>

#include "core/state.h"
#include "halvex32.h"
#include "halvex32_service.h"
#include "sim/firmware/can_controller.h"
#include "tests/unit/mcu_fixture.h"
#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

namespace svc = hx::service;

Recorded<std::pair<CanMessage, u32>> g_messages;  // with the size passed
std::atomic<int> g_exchanged{-1};
std::atomic<u32> g_status{0};

void HX_CALLBACK OnMessage(CanMessage* m, u32 size) { g_messages.Add({*m, size}); }
void HX_CALLBACK ExchangeFromMessage(CanMessage*, u32) {
    u32 timing[2] = {};
    g_exchanged.store(CAN_BitTimingGet(0, timing, sizeof timing) && timing[0] == sim::kCanDefaultBitRate);
}
void HX_CALLBACK ExchangeFromStatus(u32 status) { g_status = status, ExchangeFromMessage(nullptr, 0); }

CanMessage Message(u32 id, u16 flags, u8 length, std::initializer_list<u8> data = {}) {
    CanMessage m{id, flags, 0, length, {}};
    std::copy(data.begin(), data.end(), m.data);
    return m;
}
svc::CanBusFrame BusFrame(const CanMessage& m) {
    svc::CanBusFrame f{m.id, m.flags, m.length, {}};
    return std::memcpy(f.data, m.data, sizeof f.data), f;
}
bool Same(const CanMessage& a, const sim::CanWireMessage& b) {
    return a.id == b.id && a.flags == b.flags && a.length == b.length && !std::memcmp(a.data, b.data, 8);
}

class Can : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        LoadWithLinks();
    }
    // The frames the controller took from the library from `from` on, once
    // a marker frame sent behind them has come.
    static std::vector<sim::CanWireMessage> WireUpToNow(u32 from) {
        static u8 markers = 0;
        CanMessage marker = Message(0x7FF, 0, 1, {++markers});
        EXPECT_TRUE(CAN_Send(0, &marker, sizeof marker));
        std::vector<sim::CanWireMessage> out;
        EXPECT_TRUE(WaitUntil([&](const sim::SerialLinkState& s) {
            const sim::CanWireMessage* last = sim::CanReceivedAt(s.can, s.can.framesReceived - 1);
            if (!last || !Same(marker, *last)) return false;
            for (u32 i = from; i + 1 < s.can.framesReceived; ++i) out.push_back(*sim::CanReceivedAt(s.can, i));
            return true;
        }));
        return out;
    }
};

TEST_F(Can, CommandFramesAndResults) {
    const u32 setup[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    u32 timing[3] = {0x11, 0x22, 0x33};
    u32 got[2] = {0xAA, 0xBB};
    const auto F = MakeFrame;
    struct Row { const char* name; std::function<Bool32()> call; Bool32 result; std::vector<Frame7> frames; } const rows[] = {
        {"setup of 40 bytes: four words", [&] { return CAN_Setup(0, (void*)setup, 40); }, 1, {F(0x86, 1), F(0x87, 2), F(0x88, 3), F(0x89, 4)}},
        {"setup of 5 bytes: a last whole word", [&] { return CAN_Setup(3, (void*)setup, 5); }, 1, {F(0x86, 1), F(0x87, 2)}},
        {"setup of 0 bytes", [&] { return CAN_Setup(0, (void*)setup, 0); }, 1, {}},
        {"setup without a record", [] { return CAN_Setup(0, nullptr, 16); }, 0, {}},
        {"bit timing set", [&] { return CAN_BitTimingSet(0, timing, 8); }, 1, {F(0x82, 0x11), F(0x83, 0x22)}},
        {"a third bit-timing word meets the get code 84h", [&] { return CAN_BitTimingSet(0, timing, 12); }, 0,
         {F(0x82, 0x11), F(0x83, 0x22), F(0x84, 0x33)}},
        {"bit timing get sends the caller's words, keeps the answers",
         [&] { return Bool32(CAN_BitTimingGet(0, got, 8) && got[0] == 0x11 && got[1] == 0x22); }, 1, {F(0x84, 0xAA), F(0x85, 0xBB)}},
        {"bit timing get without a record", [] { return CAN_BitTimingGet(0, nullptr, 8); }, 0, {}},
        {"start", [] { return Bool32(CAN_Start(0) && CanStarted.load() == 1); }, 1, {F(0x81, 0)}},
        {"stop: posted, then echoed", [] { return Bool32(CAN_Stop(0) && CanStarted.load() == 0); }, 1, {F(0x80, 0), F(0x80, 0)}},
    };
    ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    for (const Row& row : rows) {
        const u32 from = FramesReceived();
        EXPECT_EQ(row.call(), row.result) << row.name;
        EXPECT_EQ(FramesUpToNow(from), row.frames) << row.name;
    }
}

TEST_F(Can, SendWritesOneFrameFromTheFirst16Bytes) {
    const CanMessage sent = Message(0x18FF0102, 0x8003, 3, {0xDE, 0xAD, 0xBE});
    CanMessage withReserved = sent;
    withReserved.reserved = 0x5A;
    struct Row { const char* name; CanMessage message; u32 size; bool null; Bool32 result; } const rows[] = {
        {"16 bytes", sent, 16, false, 1},
        {"15 bytes: nothing written", sent, 15, false, 0},
        {"64 bytes: one frame", sent, 64, false, 1},
        {"reserved set: the same frame", withReserved, 16, false, 1},
        {"no message", sent, 16, true, 0},
    };
    for (const Row& row : rows) {
        u8 record[64];
        std::memset(record, 0xEE, sizeof record);
        std::memcpy(record, &row.message, sizeof row.message);
        const u32 from = svc::GetCanController().fromLibrary;
        EXPECT_EQ(CAN_Send(0, row.null ? nullptr : reinterpret_cast<CanMessage*>(record), row.size), row.result) << row.name;
        const auto wire = WireUpToNow(from);
        ASSERT_EQ(wire.size(), row.result ? 1u : 0u) << row.name;
        EXPECT_TRUE(!row.result || Same(sent, wire[0])) << row.name;
    }
}

TEST_F(Can, BusFramesReachTheCallbackUnchangedWithReservedZero) {
    ASSERT_TRUE(CAN_RegisterReceived(0, OnMessage) && CAN_Start(0));
    const CanMessage extended = Message(0x1ABCDEF0, 0x0001, 8, {1, 2, 3, 4, 5, 6, 7, 8});
    const CanMessage odd = Message(0x123, 0xF0F2, 15, {0x24, 0x23, 0x40});
    const CanMessage answer = Message(0x101, 0, 2, {0xA5, 0x5A});
    CanMessage request = Message(0x100, 0, 1, {9}), own = Message(0x222, 0x0002, 0);
    const u32 loopback[1] = {sim::kCanModeLoopback};
    struct Row { const char* name; std::function<void()> stimulus; CanMessage expected; } const rows[] = {
        {"a peer's frame, 29-bit id", [&] { svc::SendCanFromPeer(BusFrame(extended)); }, extended},
        {"flags and length as they come", [&] { svc::SendCanFromPeer(BusFrame(odd)); }, odd},
        {"a peer's answer to the library's frame",
         [&] { svc::AddCanPeer(0x100, BusFrame(answer)), CAN_Send(0, &request, 16); }, answer},
        {"loopback", [&] { CAN_Setup(0, (void*)loopback, 4), CAN_Send(0, &own, 16); }, own},
    };
    for (const Row& row : rows) {
        row.stimulus();
        const auto got = g_messages.Wait(1, true);
        ASSERT_EQ(got.size(), 1u) << row.name;
        EXPECT_EQ(std::memcmp(&got[0].first, &row.expected, sizeof row.expected), 0) << row.name;
        EXPECT_EQ(got[0].second, 16u) << row.name;
    }
}

// Only the MCU link's receive thread hands answers over: an exchange from a
// callback on it times out; from the CAN receive thread it is answered. The
// status callback gets the status word of the controller's event.
TEST_F(Can, ExchangesFromTheCallbacks) {
    struct Row { const char* name; svc::CanBusState state; int result; u32 status; } const rows[] = {
        {"received callback, CAN receive thread", svc::CanBusState::ErrorActive, 1, 0},
        {"status callback, MCU receive thread", svc::CanBusState::BusOff, 0, 0x00FF0007},
    };
    ASSERT_TRUE(CAN_RegisterReceived(0, ExchangeFromMessage) && CAN_RegisterStatus(0, ExchangeFromStatus) && CAN_Start(0));
    for (const Row& row : rows) {
        g_exchanged.store(-1), g_status.store(0);
        row.status ? svc::SetCanBusState(row.state) : svc::SendCanFromPeer(BusFrame(Message(1, 0, 0)));
        ASSERT_TRUE(WaitUntil([](auto&) { return g_exchanged.load() >= 0; })) << row.name;
        EXPECT_EQ(g_exchanged.load(), row.result) << row.name;
        EXPECT_EQ(g_status.load(), row.status) << row.name;
    }
}

TEST_F(Can, BurstArrivesCompleteAndInOrderWhileTheMcuLinkIsServed) {
    constexpr u32 kFrames = 20000;
    g_next = g_lost = g_reordered = 0;
    ASSERT_TRUE(CAN_RegisterReceived(0, CountLoad) && CAN_Start(0));
    svc::StartCanBurst(kFrames, 0x0F0);
    u32 exchanges = 0, answered = 0;
    while (g_next.load() < kFrames && exchanges < 5000) {
        u32 timing[1] = {};
        answered += CAN_BitTimingGet(0, timing, 4);
        ++exchanges;
    }
    ASSERT_TRUE(WaitUntil([](auto&) { return g_next.load() == kFrames; }));
    EXPECT_EQ(g_lost.load(), 0u);
    EXPECT_EQ(g_reordered.load(), 0u);
    EXPECT_EQ(answered, exchanges);
}

TEST_F(Can, FailedEchoesKeepTheStartFlagAndUnloadStopsOnce) {
    Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });
    EXPECT_EQ(CAN_Start(0), 0);
    EXPECT_EQ(CanStarted.load(), 0);
    EXPECT_FALSE(os::HandleIsOpen(serialPortCan.rxThread.load()));

    ASSERT_TRUE(CAN_Start(0));
    Arm([](sim::LinkFaultState& f) { f.passAnswers = 1, f.dropAnswers = 1; });  // the post's echo passes
    EXPECT_EQ(CAN_Stop(0), 0);
    EXPECT_EQ(CanStarted.load(), 1);
    const u32 from = FramesReceived();
    Unload();
    EXPECT_EQ(FramesSince(from), (std::vector<Frame7>{MakeFrame(0x80, 0), MakeFrame(0x80, 0)}));
}

// The frame as the virtual bus got it shows the flags bits the syntax sets.
TEST(CanHalvexctl, CanUtilsSyntaxOnTheVirtualBus) {
    const struct { const char* args; int exitCode; const char* out; } rows[] = {
        {"can send 123#DEADBEEF", 0, "virtual bus: can0  123   [4]  DE AD BE EF\n"},
        {"can send 12345678#DE.AD", 0, "virtual bus: can0  12345678   [2]  DE AD\n"},
        {"can send 123#R", 0, "virtual bus: can0  123   [0]  remote request\n"},
        {"can send 1234#00", 2, ""},
        {"can send 123#001122334455667788", 2, ""},
        {"can dump --demo --count 2 -t z", 0,
         " (000.000000)  can0  123   [8]  00 00 00 00 FF FF FF FF\n (0"},
    };
    for (const auto& row : rows) {
        const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " --virtual Trelo-11 " + row.args);
        EXPECT_EQ(r.exitCode, row.exitCode) << row.args << r.err;
        EXPECT_EQ(r.out.rfind(row.out, 0), 0u) << row.args << ": " << r.out;
    }
}

}  // namespace
}  // namespace hx::test
