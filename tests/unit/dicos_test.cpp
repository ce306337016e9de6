// DICOS through the exports on the virtual board, family by family (C1 on
// Trelo-05, C2 on Trelo-06, C3 on Trelo-11): the frames on the wire and the
// setups refused; what a change of a field input brings the callback, with
// the sequence counted also while no callback is registered; C2's 3-byte
// messages and its setup while running; a client process while another
// process holds the MCU port, whose callback cannot exchange with the MCU.
#include <sys/socket.h>
#include <sys/wait.h>

#include <tuple>

#include "core/state.h"
#include "sim/dio_field.h"
#include "tests/unit/mcu_fixture.h"
#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

using Call = std::tuple<u32, u32, u32>;  // inputState, eventValue, sequence
using Calls = std::vector<Call>;
using Frames = std::vector<Frame7>;

Recorded<Call> g_calls;
std::atomic<bool> g_readInCallback{false};
std::atomic<u32> g_readInputs{0};

void HX_CALLBACK OnEvent(DiEventRecord* r) {
    if (g_readInCallback.load()) g_readInputs.store(DIReadPort());
    // The record is packed: its fields are read as values, never bound to references.
    g_calls.Add({u32{r->inputState}, u32{r->eventValue}, u32{r->sequence}});
}
void Drive(std::initializer_list<std::pair<u32, bool>> changes) {
    for (auto [line, on] : changes) sim::DriveFieldInput(line, on);
}
Bool32 Watch(DicosSetup s, u32 size = sizeof(DicosSetup)) { return SetupDICOS(&s, size); }
const Frames kFramedStop = {MakeFrame(0x30, 0), MakeFrame(0x30, 0)};  // posted, then echoed

class Dicos : public McuLinkTest {
protected:
    void Bring(const char* model) { Unload(), LoadWithLinks(model), from_ = FramesReceived(), g_calls.Get(true); }
    // The frames the firmware took since the last look, after a call whose result must be true.
    Frames After(bool ok) {
        EXPECT_TRUE(ok);
        return FramesSince(std::exchange(from_, FramesReceived()));
    }
    u32 from_ = 0;
};

// C1 and C2 send the low bytes only (polarity 00FFh complemented: 00h); C3
// both halves of lineMask 0010h and modeMask, polarity 0001h as 0000FFFEh.
TEST_F(Dicos, EachFamilySendsItsFramesAndRefusesWhatItMust) {
    const struct Row { const char* model; DicosSetup setup; Frames setupFrames, start, stop; } rows[] = {
        {"Trelo-05", {0x0103, 0x0102, 0x00FF}, {MakeFrame(0x32, 0x00020303)}, {MakeFrame(0x31, 0)}, kFramedStop},
        {"Trelo-06", {0x0103, 0x0102, 0x00FF}, {MakeFrame(0x32, 0x00020303)}, {ShortFrame(0x31)}, {ShortFrame(0x30), ShortFrame(0x30)}},
        {"Trelo-11", {0x0010, 0x0102, 0x0001}, {MakeFrame(0x32, 0x01020010), MakeFrame(0x33, 0x0000FFFE)},
         {MakeFrame(0x31, 0)}, kFramedStop},
    };
    for (const Row& row : rows) {
        Bring(row.model);
        EXPECT_EQ(After(!Watch(row.setup, 5) && !SetupDICOS(nullptr, sizeof(DicosSetup))), Frames{}) << row.model;
        EXPECT_EQ(After(Watch(row.setup)), row.setupFrames) << row.model;
        EXPECT_EQ(After(StartDICOS() && DicosStarted.load() == 1), row.start) << row.model;
        EXPECT_EQ(After(StopDICOS() && DicosStarted.load() == 0), row.stop) << row.model;
    }
    Bring("Trelo-05");
    EXPECT_EQ(After(!Watch({0x0010, 0, 0})), Frames{}) << "C1 watches lines 0-3 only";
    Bring("Trelo-06");  // a C2 stop while stopped leaves no echo behind for the next exchange
    EXPECT_EQ(After(StopDICOS() && Watch({1, 0, 0})), (Frames{ShortFrame(0x30), ShortFrame(0x30), MakeFrame(0x32, 0xFF000103)}));
}

// Line 0 counts only its edge to active, line 1 both edges, line 2 is not
// watched. Three events come while no callback is registered.
TEST_F(Dicos, FieldInputChangesReachTheCallbackAsEachFamilyReportsThem) {
    for (const char* model : {"Trelo-05", "Trelo-06", "Trelo-11"}) {
        Bring(model);
        ASSERT_TRUE(RegisterCallbackDICOS(nullptr) && Watch({0x0003, 0x0001, 0x0001}) && StartDICOS());
        Drive({{1, true}, {1, false}, {1, true}}), usleep(50000);  // sent, and taken by the receive thread
        RegisterCallbackDICOS(OnEvent), Drive({{0, true}}), g_calls.Wait(1);  // C2 reads the inputs as the message arrives
        Drive({{0, false}, {2, true}, {1, false}});
        EXPECT_EQ(g_calls.Wait(2), (Calls{{3, 1, 4}, {4, 2, 5}})) << model;
    }
}

TEST_F(Dicos, C2TakesThreeByteMessagesAndRestartsAroundASetup) {
    Bring("Trelo-06");
    ASSERT_TRUE(RegisterCallbackDICOS(OnEvent) && Watch({0x0001, 0, 0}) && StartDICOS());
    Drive({{3, true}});  // not watched; the record's state shows it
    const u8 badSum[] = {0x40, 0x06, 0x47};
    ASSERT_TRUE(sim::EmitShortDiMessage(5) && sim::SendLinkBytes(sim::LinkRole::Mcu, badSum, 3) &&
                sim::EmitShortDiMessage(7));
    EXPECT_EQ(g_calls.Wait(2), (Calls{{8, 5, 1}, {8, 7, 2}}));
    from_ = FramesReceived();
    EXPECT_EQ(After(Watch({0x0002, 0, 0})), (Frames{ShortFrame(0x30), ShortFrame(0x30), MakeFrame(0x32, 0xFF000203), ShortFrame(0x31)}));
    Drive({{1, true}});
    EXPECT_EQ(g_calls.Wait(3), (Calls{{8, 5, 1}, {8, 7, 2}, {0x0A, 2, 1}})) << "the thread runs afresh";
}

// The client is forked before this process (the owner) opens the MCU port;
// DICOS is the owner's first MCU operation, and starts the sharing server. A
// query from the callback waits for an answer only the blocked thread could
// hand over: it fails after its time-out, and the thread goes on.
TEST_F(Dicos, AClientProcessRefusesDicosAndReadsThroughTheOwnerRunningIt) {
    Bring("Trelo-11");
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    if (fork() == 0) {
        close(fds[0]);  // a parent that dies ends the child's wait
        u32 r[4] = {};
        if (read(fds[1], r, 1) == 1) r[0] = Watch({1, 0, 0}), r[1] = StartDICOS(), r[2] = StopDICOS(), r[3] = DIReadPort();
        (void)!write(fds[1], r, sizeof r), ProcessDetach(), _exit(0);
    }
    ASSERT_TRUE(RegisterCallbackDICOS(OnEvent) && Watch({0x0001, 0, 0}) && StartDICOS());
    Drive({{0, true}});
    EXPECT_EQ(g_calls.Wait(1), (Calls{{1, 1, 1}}));
    from_ = FramesReceived();
    u32 results[4] = {9, 9, 9, 9};
    EXPECT_TRUE(write(fds[0], "g", 1) == 1 && read(fds[0], results, sizeof results) == sizeof results);
    EXPECT_EQ(std::vector<u32>(results, results + 4), (std::vector<u32>{0, 0, 0, 1}));
    EXPECT_EQ(After(wait(nullptr) > 0), Frames{MakeFrame(0x35, 0xFFFF0000)}) << "only the owner's query for the client";
    g_readInCallback.store(true), Drive({{0, false}});
    EXPECT_EQ(g_calls.Wait(2), (Calls{{1, 1, 1}, {0, 1, 2}}));
    EXPECT_EQ(g_readInputs.load(), 0xFFFFu) << "a failed read reports every line active";
    g_readInCallback.store(false), Drive({{0, true}});
    EXPECT_EQ(g_calls.Wait(3), (Calls{{1, 1, 1}, {0, 1, 2}, {1, 1, 3}}));
    EXPECT_EQ(DIReadPort(), 1u);
}

// The tool keeps to the lines and the edge it was asked for, by events on
// the wide (C3) and the message (C2) boards alike.
TEST(DicosHalvexctl, WatchPrintsOnlyTheChosenEdgeOfTheChosenLines) {
    for (const char* model : {"Trelo-11", "Trelo-06"}) {
        const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " --virtual " + model +
                                           " dicos watch --lines 0x1 --rising --demo --for 700ms");
        EXPECT_EQ(r.exitCode, 0) << model << r.err;
        EXPECT_NE(r.out.find(" rising 0\n"), std::string::npos) << model << r.out;
        EXPECT_EQ(r.out.find("falling"), std::string::npos) << model << r.out;
        EXPECT_EQ(r.out.find(" 1\n"), std::string::npos) << model << r.out;
    }
}

}  // namespace
}  // namespace hx::test
