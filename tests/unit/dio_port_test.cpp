// Port-mapped and pad DIO over the virtual board: each board's connector
// driven by the family the library picks for it, the register sequences of
// the families, their InitDIO variants, the read-back bound, the routing hooks.
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "core/state.h"
#include "dio/routing.h"
#include "halvex32.h"
#include "sim/dio_board.h"
#include "sim/dio_field.h"
#include "tests/unit/mcu_fixture.h"
#include "tests/unit/wdt_trace.h"

namespace hx::test {
namespace {

using sim::AccessKind;

class DioPortTest : public McuLinkTest {
protected:
    void LoadModel(const char* model) {
        VirtualBoardTest::LoadModel(model);
        sim::ClearAccessLog(sim::TheBoardState());
    }
    template <typename Op>
    static std::string TraceOf(Op op) {
        sim::ClearAccessLog(sim::TheBoardState());
        op();
        return Trace(Log());
    }
    static u32 Outputs() { return sim::ReadFieldLines().outputsOn; }
};

// A wrong DIO family on a board leaves its gates closed, its lines on other
// bits or on the MCU, or its line counts wrong: every line of every
// connector is tried, on all the boards.
TEST_F(DioPortTest, EveryBoardDrivesAndReadsItsOwnConnector) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        SCOPED_TRACE(m.name);
        LoadModel(m.name);
        ASSERT_EQ(InitDIO(), m.dio->attach == sim::DioAttach::None ? 0 : 1);
        for (u8 n = 0; n < m.dio->outputs; ++n) {
            DOWriteLine(n, 1);
            EXPECT_EQ(Outputs(), 1u << n) << "line " << int(n);
            DOWriteLine(n, 0);
        }
        for (u8 n = 0; n < m.dio->inputs; ++n) {
            sim::DriveFieldInput(n, true);
            EXPECT_EQ(DIReadPort(), 1u << n) << "line " << int(n);
            EXPECT_EQ(DIReadLine(n), 1u);
            sim::DriveFieldInput(n, false);
        }
        const u16 all = static_cast<u16>((1u << m.dio->outputs) - 1);
        DOWritePortChecked(all);
        EXPECT_EQ(Outputs(), m.dio->attach == sim::DioAttach::SocPads ? 0u : all);
        EXPECT_EQ(DIReadPort(), 0u);
        Unload();
    }
}

struct OpCase {
    const char* model;
    const char* what;
    void (*op)();
    const char* trace;
};

// Run after InitDIO; the output registers hold 0 then, unless the case sets them.
const OpCase kOps[] = {
    {"Trelo-01", "DIReadLine(3) active", [] { sim::DriveFieldInput(3, true); EXPECT_EQ(DIReadLine(3), 1u); }, "in604"},
    {"Trelo-01", "DIReadLine(3) inactive", [] { EXPECT_EQ(DIReadLine(3), 0u); }, "in604"},
    {"Trelo-01", "DIReadLine(8)", [] { EXPECT_EQ(DIReadLine(8), 0u); }, ""},
    {"Trelo-01", "DOWriteLine(2, 5) keeps the others", [] { sim::TheBoard().BusWritePort(0x601, 0x81, 1); DOWriteLine(2, 5); }, "in601 out601=85"},
    {"Trelo-01", "DOWriteLine(8, 1)", [] { DOWriteLine(8, 1); }, ""},
    {"Trelo-03", "DIReadPort: 600h high nibble clear", [] { for (u8 n = 8; n < 12; ++n) sim::DriveFieldInput(n, true); EXPECT_EQ(DIReadPort(), 0xF00u); }, "in604 in600"},
    {"Trelo-03", "DOWritePort(ABCh)", [] { sim::TheBoard().BusWritePort(0x603, 0x50, 1); DOWritePort(0xABC); }, "out601=BC in603 out603=5A"},
    {"Trelo-05", "DIReadPort before InitDIO", [] { Shared().dioSharedFlag = 0; EXPECT_EQ(DIReadPort(), 0u); DOWriteLine(0, 1); DOWritePort(1); }, ""},
    {"Trelo-05", "DOWriteLine(5, 1)", [] { DOWriteLine(5, 1); }, "in604 out604=2F"},
    {"Trelo-05", "DOWriteLine(3, 1)", [] { DOWriteLine(3, 1); }, "in605 out605=02"},
    {"Trelo-05", "DOWritePort(FFh) keeps the other bits", [] { sim::TheBoard().BusWritePort(0x601, 0xA8, 1); sim::TheBoard().BusWritePort(0x605, 0x54, 1); DOWritePort(0xFF); },
     "in601 out601=AB in605 out605=57 in604 out604=FF"},
    {"Trelo-07", "DOWritePort(F5h)", [] { DOWritePort(0xF5); }, "out601=F5"},
    {"Trelo-07", "DOWritePortChecked(F5h), lag 2", [] { sim::SetOutputReadBackLag(2); DOWritePortChecked(0xF5); }, "out601=F5 in601 in601 in601"},
    {"Vexa-03", "DOWritePort(F5h)", [] { DOWritePort(0xF5); }, "out601=05"},
    {"Trelo-01", "DOWriteLineChecked(3, 2), lag 2", [] { sim::SetOutputReadBackLag(2); DOWriteLineChecked(3, 2); }, "in601 out601=08 in601 in601 in601"},
    {"Trelo-13", "DIReadPort, DOWritePort(5Ah)", [] { sim::DriveFieldInput(7, true); EXPECT_EQ(DIReadPort(), 0x80u); DOWritePort(0x5A); }, "in29E out29F=5A"},
    {"Ondra-01", "D10 lines 1 and 2, no port operations", [] { DOWriteLine(1, 7); DOWriteLine(2, 1); DOWritePort(3); EXPECT_EQ(DIReadPort(), 0u); }, "pout:FED0C058=00000001"},
};

class DioOpTest : public DioPortTest, public ::testing::WithParamInterface<OpCase> {};

TEST_P(DioOpTest, RegisterSequence) {
    const OpCase& c = GetParam();
    LoadModel(c.model);
    ASSERT_EQ(InitDIO(), 1);
    EXPECT_EQ(TraceOf(c.op), c.trace) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Families, DioOpTest, ::testing::ValuesIn(kOps));

struct InitCase {
    const char* model;
    AccessKind faultKind;
    u16 faultPort;  // 0: no fault
    Bool32 result;
    u32 flagAfter;
    const char* trace;
};

const InitCase kInits[] = {
    {"Trelo-01", {}, 0, 1, 1, "out601=00 in502 out502=A9 in506 out506=56 in50E out50E=81 in501 out501=4C in505 out505=BF in50D out50D=00"},
    {"Trelo-01", AccessKind::PortWrite, 0x601, 0, 0, "out601=00!"},
    {"Trelo-04", {}, 0, 1, 0, "in604 pin:FED0C558 pout:FED0C558=00000004 pin:FED0C188 pout:FED0C188=00000004"},
    {"Trelo-04", AccessKind::PortRead, 0x604, 0, 0, "in604!"},
    {"Trelo-05", {}, 0, 1, 1, "in604 in601 out601=00 in605 out605=00 in604 out604=0F pin:FED0C6A8 pout:FED0C6A8=00000005 "
                              "pin:FED0C0B8 pout:FED0C0B8=00000004 pin:FED0C578 pout:FED0C578=00000004"},
    {"Trelo-05", AccessKind::PortRead, 0x604, 0, 0, "in604!"},
    {"Trelo-06", {}, 0, 1, 1, "out601=00 in50C out50C=42 in50E out50E=A8 in50E out50E=28"},
    {"Trelo-06", AccessKind::PortWrite, 0x601, 0, 0, "out601=00!"},
    {"Trelo-13", {}, 0, 1, 1, ""},
    {"Vexa-03", {}, 0, 1, 1, "out601=00 pin:FED0C188 pout:FED0C188=00000004"},
    {"Vexa-03", AccessKind::PortWrite, 0x601, 0, 0, "out601=00!"},
    {"Ondra-01", {}, 0, 1, 1, "pout:FED0C1D8=00000000"},
};

class DioInitTest : public DioPortTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(DioInitTest, SetsUpOnceAndFailsCleanly) {
    const InitCase& c = GetParam();
    LoadModel(c.model);
    if (c.faultPort) sim::AddFault(sim::TheBoardState(), c.faultKind, c.faultPort);
    EXPECT_EQ(TraceOf([&] { EXPECT_EQ(InitDIO(), c.result); }), c.trace);
    EXPECT_EQ(Shared().dioSharedFlag.load(), c.flagAfter);
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle) << "D4's probe link closed again";
    sim::ClearFaults(sim::TheBoardState());
    const bool everyCall = std::string(c.model) == "Trelo-04";
    if (c.result) {
        EXPECT_EQ(TraceOf([] { InitDIO(); }), everyCall ? c.trace : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Families, DioInitTest, ::testing::ValuesIn(kInits));

TEST_F(DioPortTest, D4ProbeSendsTheVersionQueryAndFailsWithoutAnAnswer) {
    LoadModel("Trelo-05");
    ASSERT_EQ(InitDIO(), 1);
    EXPECT_EQ(FramesSince(0), std::vector<Frame7>{MakeFrame(0xFF, 0)});
    Unload();
    LoadModel("Trelo-05");
    Arm([](sim::LinkFaultState& f) { f.corruptChecksum = 1; });
    EXPECT_EQ(TraceOf([] { EXPECT_EQ(InitDIO(), 0); }), "");
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
}

TEST_F(DioPortTest, RoutingSetUpKeepsAHookAndAUnitThePlatformStored) {
    LoadModel("Trelo-06");
    Config.dioModeHook = &RouteDioByPads;
    DtioUnit = 40;
    EXPECT_EQ(TraceOf([] { InitDIO(); }), "out601=00 pin:FED0C6A8 pout:FED0C6A8=00000001 pin:FED0C0B8 "
                                          "pout:FED0C0B8=00000000 pin:FED0C578 pout:FED0C578=00000000");
    EXPECT_EQ(DtioUnit.load(), 40);
    Unload();
    LoadModel("Trelo-06");
    InitDIO();
    EXPECT_EQ(Config.dioModeHook.load(), &RouteDioByPorts);
    EXPECT_EQ(DtioUnit.load(), 25);
}

// A process that finds DioSharedFlag set does no set-up, and D4 works there
// without an InitDIO of its own.
TEST_F(DioPortTest, SecondProcessFindsTheFlagSet) {
    for (const char* model : {"Trelo-01", "Trelo-05", "Ondra-01"}) {
        LoadModel(model);
        ASSERT_EQ(InitDIO(), 1);
        const pid_t child = fork();
        if (child == 0) {
            Unload();
            LoadModel(model);
            sim::DriveFieldInput(0, true);
            Bool32 result = 0;
            const bool quiet = TraceOf([&] { result = InitDIO(); }).empty();
            const bool d4Reads = std::string(model) != "Trelo-05" || DIReadPort() == 1;
            _exit(result == 1 && quiet && d4Reads ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << model;
        Unload();
    }
}

// An output that never reads back costs the bound, then the call returns
// with the lock free for another thread.
TEST_F(DioPortTest, StuckOutputEndsTheCheckedWritesAtTheBound) {
    LoadModel("Trelo-01");
    ASSERT_EQ(InitDIO(), 1);
    ASSERT_TRUE(sim::SetStuckOutput(2, false));
    DOWriteLineChecked(2, 1);
    DOWritePortChecked(0xFF);
    EXPECT_EQ(Outputs(), 0xFBu);
    EXPECT_GT(LogOf(AccessKind::PortRead).size(), 4u) << "read back until the bound";
    std::thread other([] { DIReadPort(); });
    other.join();
}

TEST_F(DioPortTest, RoutingHooksOfBothKinds) {
    LoadModel("Trelo-06");  // port routing, hooks left empty by the platform
    EXPECT_EQ(TraceOf(CallTriggerModeHookIfSet), "");
    CallTriggerModeHook();
    EXPECT_STREQ(sim::DioRouteName(sim::BoardDioRoute()), "trigger routed");
    CallDioModeHookIfSet();
    CallDioModeHook();
    EXPECT_STREQ(sim::DioRouteName(sim::BoardDioRoute()), "DIO routed");
    Unload();
    LoadModel("Trelo-05");  // I1 installs the pad routing
    EXPECT_EQ(sim::BoardDioRoute(), sim::DioRoute::kOff);
    CallTriggerModeHookIfSet();
    EXPECT_EQ(sim::BoardDioRoute(), sim::DioRoute::kTrigger);
    CallDioModeHook();
    EXPECT_EQ(sim::BoardDioRoute(), sim::DioRoute::kDio);
}

}  // namespace
}  // namespace hx::test
