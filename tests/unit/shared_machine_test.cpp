// Processes on one shared virtual machine: this test process loaded on it
// (the application under development), and children on the same model and
// board through halvexctl --virtual and the virtual library.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "process_util.h"
#include "sim/board_links.h"

namespace hx::test {
namespace {

namespace svc = hx::service;

ProcessResult Ctl(const std::string& model, const std::string& args) {
    return RunCommand("timeout 30 " + std::string(HX_HALVEXCTL) + " --virtual " + model + " " + args);
}

bool Has(const ProcessResult& r, const std::string& text) { return r.out.find(text) != std::string::npos; }

// This process on the machine of `model` for the test's length (the
// machines of a test are destroyed after it: tests/unit/own_machine.cpp).
struct OnMachine {
    explicit OnMachine(const char* model) : loaded(svc::LoadOnSharedVirtualBoard(model) == svc::Load::Open) {}
    ~OnMachine() { svc::Unload(); }
    bool loaded;
};

// halvexctl drives an input while this process runs; this process and the
// virtual library in a probe read it. On the MCU board this process opened
// the MCU port first: the probe cannot open it (InitDIO probes through it)
// and reads the inputs through this process, the port's owner.
TEST(SharedMachine, TheApplicationAndAProbeSeeTheInputThatHalvexctlDrives) {
    const struct {
        const char* model;
        unsigned line;
        const char* probeInit;
    } cases[] = {{"Trelo-01", 3, "InitDIO=1\n"}, {"Trelo-11", 6, "InitDIO=0\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const OnMachine app(c.model);
        ASSERT_TRUE(app.loaded && InitDIO());
        const ProcessResult drive = Ctl(c.model, "board di " + std::to_string(c.line) + "=1");
        ASSERT_EQ(drive.exitCode, 0) << drive.err;
        EXPECT_EQ(DIReadPort(), 1u << c.line);
        const ProcessResult probe =
            RunCommand("HALVEX_VIRTUAL_MODEL=" + std::string(c.model) + " " + HX_LOAD_PROBE + " " + HX_VIRTUAL_LIBRARY);
        EXPECT_TRUE(Has(probe, c.probeInit)) << probe.out;
        EXPECT_TRUE(Has(probe, "DIReadPort=" + std::to_string(1u << c.line) + "\n")) << probe.out;
    }
}

// On the real-time clock a watchdog armed here and never kicked resets the
// machine; halvexctl and this process both see that one reset.
TEST(SharedMachine, AWatchdogNobodyKicksResetsTheMachineOfEveryProcessOnIt) {
    unsetenv("HALVEX_VIRTUAL_CLOCK");
    {
        const OnMachine app("Trelo-16");
        ASSERT_TRUE(app.loaded && svc::BoardClockFollowsRealTime());
        InitWDT();
        ASSERT_TRUE(SetWDT(1, 1) && StartWDT());
        ProcessResult status;
        for (int poll = 0; poll < 100 && !Has(status, "last reset:    at"); ++poll) {
            usleep(100000);
            status = Ctl("Trelo-16", "wdt status");
        }
        EXPECT_TRUE(Has(status, "watchdog via PWROK on Trelo-16 (1 since power-on)")) << status.out;
        EXPECT_EQ(svc::GetBoardStatus().resets, 1u);
    }
    setenv("HALVEX_VIRTUAL_CLOCK", "manual", 1);
}

// Reset acts in place, for this process too; destroy removes the machine:
// the next process gets a fresh one, a process still on it keeps the old.
TEST(SharedMachine, ResetActsInPlaceAndDestroyStartsAfresh) {
    const OnMachine app("Trelo-01");
    ASSERT_TRUE(app.loaded);
    const auto inputs = [] { return svc::GetBoardDioLines().inputsActive; };
    ASSERT_EQ(Ctl("Trelo-01", "board di 3=1").exitCode, 0);
    EXPECT_EQ(inputs(), 0x8u);
    EXPECT_TRUE(Has(Ctl("Trelo-01", "board reset"), "back at power-on"));
    EXPECT_EQ(inputs(), 0u);
    ASSERT_EQ(Ctl("Trelo-01", "board di 2=1").exitCode, 0);
    EXPECT_TRUE(Has(Ctl("Trelo-01", "board destroy"), "destroyed"));
    EXPECT_TRUE(Has(Ctl("Trelo-01", "board di"), "inputs:  0=0 1=0 2=0 3=0"));
    EXPECT_EQ(inputs(), 0x4u);
}

// A process killed while it holds the machine's lock: the next process to
// take it goes on (a lock that is not robust would hang it until `timeout`).
TEST(SharedMachine, AProcessKilledHoldingTheLockBlocksNobody) {
    const OnMachine app("Trelo-01");
    ASSERT_TRUE(app.loaded);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const sim::LinksLock hold;
        (void)!write(fds[1], "held", 1);
        pause();
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(fds[0], &held, 1), 1);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    const ProcessResult r = Ctl("Trelo-01", "board di 1=1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r, "inputs:  0=0 1=1 2=0")) << r.out;
    EXPECT_EQ(svc::GetBoardDioLines().inputsActive, 0x2u);
}

}  // namespace
}  // namespace hx::test
