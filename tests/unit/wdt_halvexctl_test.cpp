// halvexctl wdt through the built binary on the virtual board.
#include <gtest/gtest.h>

#include "process_util.h"

namespace hx::test {
namespace {

ProcessResult Ctl(const std::string& args) { return RunCommand(std::string(HX_HALVEXCTL) + " " + args); }

TEST(HalvexctlWdt, ExpireReportsTheResetOfEachFamily) {
    const struct {
        const char* model;
        const char* report;
    } cases[] = {
        {"Trelo-01", "machine reset after 15.0 s of board time: Super I/O IT8783 watchdog via KRST#"},
        {"Trelo-04", "machine reset after 15.0 s of board time: Super I/O IT8768 watchdog via PWROK"},
        {"Trelo-11", "machine reset after 11.0 s of board time: Super I/O IT8786 watchdog via KRST#"},
        {"Trelo-16", "machine reset after 10.0 s of board time: Super I/O IT8786 watchdog via PWROK"},
        {"Vexa-01", "machine reset after 3.6 s of board time: ICH TCO timer, second time-out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const char* timeout = std::string(c.model) == "Vexa-01" ? "2s" : "10s";
        const ProcessResult r = Ctl("--virtual " + std::string(c.model) + " wdt expire --timeout " + timeout);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(c.report), std::string::npos) << r.out;
    }
}

TEST(HalvexctlWdt, KeepaliveKicksThroughTheWholeRunOrReportsTheReset) {
    const ProcessResult kept = Ctl("--virtual Trelo-01 wdt keepalive --timeout 30s --interval 5s --for 10m");
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_NE(kept.out.find("stopped after 120 kicks over 600.0 s; no reset"), std::string::npos) << kept.out;

    const ProcessResult late = Ctl("--virtual Trelo-16 wdt keepalive --timeout 1m --interval 61s --for 5m");
    EXPECT_EQ(late.exitCode, 1);
    EXPECT_NE(late.out.find("machine reset at 60.0 s of board time"), std::string::npos) << late.out;
}

TEST(HalvexctlWdt, ExpireOnRealHardwareWantsConfirmation) {
    const ProcessResult r = Ctl("wdt expire --timeout 10s");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
}

TEST(HalvexctlWdt, StatusShowsTheChipsAndNoResetOnAFreshBoard) {
    const ProcessResult r = Ctl("--virtual Trelo-02 wdt status");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("watchdog stopped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("TCO timer:     halted"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("last reset:    none"), std::string::npos) << r.out;
}

TEST(HalvexctlWdt, BadTimeoutIsRefused) {
    const ProcessResult r = Ctl("--virtual Trelo-11 wdt expire --timeout 70000s");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("bad --timeout"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace hx::test
