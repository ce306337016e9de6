// DICOS through the exports on the virtual board, family by family (C1 on
// Trelo-05, C2 on Trelo-06, C3 on Trelo-11): the frames on the wire and the
// setups refused; what a change of a field input brings the callback, with
// the sequence counted also while no callback is registered; C2's 3-byte
// messages and its setup while running; a callback that exchanges with the
// MCU; a client process while another process holds the MCU port; halvexctl.
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstring>
#include <mutex>
#include <tuple>

#include "core/state.h"
#include "halvex32.h"
#include "sim/dio_field.h"
#include "tests/unit/mcu_fixture.h"
#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

using Call = std::tuple<u32, u32, u32>;  // inputState, eventValue, sequence
using Frames = std::vector<Frame7>;

std::mutex g_lock;
std::vector<Call> g_calls;
std::atomic<u32> g_readInCallback{0};

void HX_CALLBACK OnEvent(DiEventRecord* r) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.push_back({r->inputState, r->eventValue, r->sequence});
}
void HX_CALLBACK ReadInputsInCallback(DiEventRecord* r) {
    g_readInCallback.store(DIReadPort());
    OnEvent(r);
}

Frame7 Short(u8 code) { return {0x23, code, 0x00, static_cast<u8>(0x23 + code), 0x00, 0x00, 0x00}; }
const Frames kFramedStop = {MakeFrame(0x30, 0), MakeFrame(0x30, 0)};  // posted, then echoed

class Dicos : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        Forget();
    }
    void Bring(const char* model) {
        Unload();
        LoadWithLinks(model);
        from_ = FramesReceived();
        Forget();
    }
    static void Forget() {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.clear();
    }
    static Bool32 Setup(DicosSetup s, u32 size = sizeof(DicosSetup)) { return SetupDICOS(&s, size); }
    static std::vector<Call> WaitCalls(std::size_t n) {
        for (int ms = 0; ms < 5000; ++ms, usleep(1000)) {
            std::lock_guard<std::mutex> hold(g_lock);
            if (g_calls.size() >= n) break;
        }
        std::lock_guard<std::mutex> hold(g_lock);
        return g_calls;
    }
    Frames Sent() {
        Frames f = FramesSince(from_);
        from_ = FramesReceived();
        return f;
    }
    u32 from_ = 0;
};

// C1 and C2 send the low bytes only (polarity 00FFh complemented: 00h); C3
// both halves of lineMask 0010h and modeMask, polarity 0001h as 0000FFFEh.
TEST_F(Dicos, EachFamilySendsItsFramesAndRefusesWhatItMust) {
    const struct Row { const char* model; DicosSetup setup; Frames setupFrames, start, stop; } rows[] = {
        {"Trelo-05", {0x0103, 0x0102, 0x00FF}, {MakeFrame(0x32, 0x00020303)}, {MakeFrame(0x31, 0)}, kFramedStop},
        {"Trelo-06", {0x0103, 0x0102, 0x00FF}, {MakeFrame(0x32, 0x00020303)}, {Short(0x31)}, {Short(0x30), Short(0x30)}},
        {"Trelo-11", {0x0010, 0x0102, 0x0001}, {MakeFrame(0x32, 0x01020010), MakeFrame(0x33, 0x0000FFFE)},
         {MakeFrame(0x31, 0)}, kFramedStop},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        Bring(row.model);
        EXPECT_FALSE(Setup(row.setup, 5));
        EXPECT_FALSE(SetupDICOS(nullptr, sizeof(DicosSetup)));
        EXPECT_EQ(Sent(), Frames{});
        EXPECT_TRUE(Setup(row.setup));
        EXPECT_EQ(Sent(), row.setupFrames);
        EXPECT_TRUE(StartDICOS());
        EXPECT_EQ(Sent(), row.start);
        EXPECT_TRUE(StopDICOS());
        EXPECT_EQ(Sent(), row.stop);
        EXPECT_EQ(DicosStarted.load(), 0);
    }
    Bring("Trelo-05");
    EXPECT_FALSE(Setup({0x0010, 0, 0})) << "C1 watches lines 0-3 only";
    EXPECT_EQ(Sent(), Frames{});
}

// Line 0 counts only its edge to active, line 1 both edges, line 2 is not
// watched. Three events come while no callback is registered.
TEST_F(Dicos, FieldInputChangesReachTheCallbackAsEachFamilyReportsThem) {
    for (const char* model : {"Trelo-05", "Trelo-06", "Trelo-11"}) {
        Bring(model);
        RegisterCallbackDICOS(nullptr);
        ASSERT_TRUE(Setup({0x0003, 0x0001, 0x0001}) && StartDICOS());
        for (bool on : {true, false, true}) sim::DriveFieldInput(1, on);
        EXPECT_TRUE(WaitUntil([](const sim::SerialLinkState& s) { return s.mcu.outbox.head == s.mcu.outbox.tail; }));
        usleep(50000);  // for the receive thread to take them
        RegisterCallbackDICOS(OnEvent);
        sim::DriveFieldInput(0, true);
        WaitCalls(1);  // the C2 record reads the inputs as the message arrives
        for (auto [line, on] : {std::pair{0u, false}, {2u, true}, {1u, false}}) sim::DriveFieldInput(line, on);
        EXPECT_EQ(WaitCalls(2), (std::vector<Call>{{3, 1, 4}, {4, 2, 5}})) << model;
    }
}

TEST_F(Dicos, C2TakesThreeByteMessagesAndRestartsAroundASetup) {
    Bring("Trelo-06");
    RegisterCallbackDICOS(OnEvent);
    ASSERT_TRUE(Setup({0x0001, 0, 0}) && StartDICOS());
    sim::DriveFieldInput(3, true);  // not watched; the record's state shows it
    const u8 badSum[] = {0x40, 0x06, 0x47};
    ASSERT_TRUE(sim::EmitShortDiMessage(5) && sim::SendLinkBytes(sim::LinkRole::Mcu, badSum, 3) &&
                sim::EmitShortDiMessage(7));
    EXPECT_EQ(WaitCalls(2), (std::vector<Call>{{8, 5, 1}, {8, 7, 2}}));
    Sent();
    EXPECT_TRUE(Setup({0x0002, 0, 0}));
    EXPECT_EQ(Sent(), (Frames{Short(0x30), Short(0x30), MakeFrame(0x32, 0xFF000203), Short(0x31)}));
    sim::DriveFieldInput(1, true);
    EXPECT_EQ(WaitCalls(3).back(), (Call{0x0A, 2, 1})) << "the thread runs afresh";
}

// The query waits for an answer only the blocked thread could hand over.
TEST_F(Dicos, AnExchangeFromTheCallbackFailsAfterItsTimeOutAndTheThreadGoesOn) {
    Bring("Trelo-11");
    RegisterCallbackDICOS(ReadInputsInCallback);
    ASSERT_TRUE(Setup({0x0001, 0, 0}) && StartDICOS());
    sim::DriveFieldInput(0, true);
    EXPECT_EQ(WaitCalls(1).size(), 1u);
    EXPECT_EQ(g_readInCallback.load(), 0xFFFFu) << "a failed read reports every line active";
    RegisterCallbackDICOS(OnEvent);
    sim::DriveFieldInput(0, false);
    EXPECT_EQ(WaitCalls(2).back(), (Call{0, 1, 2}));
    EXPECT_EQ(DIReadPort(), 0u);
}

// The client is forked before any thread runs; DICOS in this process (the
// owner) is its first MCU operation, and starts the sharing server.
TEST_F(Dicos, AClientProcessRefusesDicosAndReadsThroughTheOwnerRunningIt) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-11") && Load());
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    char path[32] = {};
    if (fork() == 0) {
        if (read(fds[1], path, sizeof path) == sizeof path) sim::PublishLinks(path, "");
        const u32 results[] = {static_cast<u32>(Setup({0x0001, 0, 0})), static_cast<u32>(StartDICOS()),
                               static_cast<u32>(StopDICOS()), DIReadPort()};
        (void)!write(fds[1], results, sizeof results);
        ProcessDetach();
        _exit(0);
    }
    ASSERT_TRUE(sim::StartBoardLinks());
    RegisterCallbackDICOS(OnEvent);
    ASSERT_TRUE(Setup({0x0001, 0, 0}) && StartDICOS());
    sim::DriveFieldInput(0, true);
    EXPECT_EQ(WaitCalls(1), (std::vector<Call>{{1, 1, 1}}));
    from_ = FramesReceived();
    std::strncpy(path, sim::LinkPath(sim::LinkRole::Mcu), sizeof path - 1);
    u32 results[4] = {9, 9, 9, 9};
    EXPECT_TRUE(write(fds[0], path, sizeof path) == sizeof path && read(fds[0], results, sizeof results) == sizeof results);
    wait(nullptr);
    EXPECT_EQ(std::vector<u32>(results, results + 4), (std::vector<u32>{0, 0, 0, 1}));
    EXPECT_EQ(Sent(), Frames{MakeFrame(0x35, 0xFFFF0000)}) << "only the owner's query for the client's read";
}

TEST(DicosHalvexctl, WatchPrintsTheEdgesAskedFor) {
    const ProcessResult r =
        RunCommand(std::string(HX_HALVEXCTL) + " --virtual Trelo-06 dicos watch --lines 0x3 --falling --demo --for 700ms");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(" falling 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("rising"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace hx::test
