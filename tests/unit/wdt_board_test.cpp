// The watchdog end to end on the board clock: an armed watchdog that is not
// kicked resets the virtual machine at the programmed time (the Super I/O or
// the TCO timer, whichever runs out first); kicked or stopped, it never does.
// The disarm at a process's end is proven where the process ends
// (exit_watchdog_test.cpp).
#include <cstdio>

#include "sim/models.h"
#include "wdt_test_util.h"

namespace hx::test {
namespace {

constexpr u64 kSecond = 1000;
constexpr u64 kMinute = 60 * kSecond;
constexpr u64 kHour = 60 * kMinute;

class WdtBoardTest : public WdtTest {
protected:
    // Loads `model`, sets the time-out and starts (with an InitWDT first).
    void Arm(const char* model, u16 count, u8 unit) {
        LoadModel(model);
        ASSERT_EQ(InitWDT(), 1);
        ASSERT_EQ(SetWDT(count, unit), 1);
        ASSERT_EQ(StartWDT(), 1);
    }
};

struct ExpiryCase {
    const char* model;
    u16 count;
    u8 unit;
    u64 resetAfterMs;
    const char* cause;
};

// W1's TCO runs out twice (0.6 s ticks) before it resets; up to 5 s it
// beats the Super I/O, which has 5 s of margin.
const ExpiryCase kExpiries[] = {
    {kW1Model, 3, 1, 6 * kSecond, "ICH TCO timer, second time-out"},
    {kW1Model, 5, 1, 9600, "ICH TCO timer, second time-out"},
    {kW1Model, 2, 0, 3 * kMinute, "Super I/O IT8783 watchdog via KRST# on Trelo-01"},
    {"Vexa-02", 700, 1, 705 * kSecond, "Super I/O IT8783 watchdog via KRST# on Vexa-02"},
    {"Vexa-06", 1, 0, 2 * kMinute, "Super I/O IT8768 watchdog via PWROK on Vexa-06"},
    {kW3Model, 2, 0, 2 * kMinute, "Super I/O IT8786 watchdog via KRST# on Trelo-11"},
    {"Trelo-19", 1, 0, 1 * kMinute, "Super I/O IT8786 watchdog via PWROK on Trelo-19"},
};

class WdtExpiryTest : public WdtBoardTest, public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(WdtExpiryTest, ArmedAndNotKickedResetsAtTheProgrammedTime) {
    const ExpiryCase& c = GetParam();
    Arm(c.model, c.count, c.unit);
    const u64 start = Now();
    Advance(c.resetAfterMs - 1);
    EXPECT_EQ(Resets().count, 0u) << "too early";
    Advance(1);
    ASSERT_EQ(Resets().count, 1u);
    EXPECT_EQ(Resets().lastAtMs - start, c.resetAfterMs);
    EXPECT_STREQ(Resets().lastCause, c.cause);
    Advance(kHour);
    EXPECT_EQ(Resets().count, 1u) << "the reset returns both timers to power-on state";
}

INSTANTIATE_TEST_SUITE_P(Families, WdtExpiryTest, ::testing::ValuesIn(kExpiries), [](const auto& info) {
    const ExpiryCase& c = info.param;
    std::string name = std::string(c.model) + "_" + std::to_string(c.count) + (c.unit ? "s" : "min");
    for (char& ch : name) ch = (ch == '-' || ch == '+') ? '_' : ch;
    return name;
});

// Each board, armed for 30 s by whatever family the library picks for it,
// resets through the one output its maker wired, between the requested time
// and the largest margin (5 s). A family that routes the time-out to another
// output, or leaves a pin or pad of the board's reset path open, never does.
TEST_F(WdtBoardTest, EveryBoardResetsThroughItsWiredOutputOnTime) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        SCOPED_TRACE(m.name);
        Arm(m.name, 30, 1);
        const u64 start = Now();
        Advance(30 * kSecond - 1);
        EXPECT_EQ(Resets().count, 0u) << "too early";
        Advance(6 * kSecond + 1);
        ASSERT_EQ(Resets().count, 1u);
        EXPECT_GE(Resets().lastAtMs - start, 30 * kSecond);
        EXPECT_LE(Resets().lastAtMs - start, 35 * kSecond);
        char cause[sim::kCauseMax];
        std::snprintf(cause, sizeof cause, "Super I/O IT%04X watchdog via %s on %s", m.superIoChipId,
                      m.watchdogReset->output == sim::ResetOutput::Krst ? "KRST#" : "PWROK", m.name);
        EXPECT_STREQ(Resets().lastCause, cause);
        Unload();
    }
}

TEST_F(WdtBoardTest, KickedInTimeNeverResets) {
    const struct {
        const char* model;
        u16 seconds;
        u64 kickEveryMs;
    } cases[] = {
        {kW1Model, 30, 29 * kSecond},  // the TCO (30 s) would reset at 60 s without its reloads
        {kW1Model, 3, 2 * kSecond},    // the TCO alone decides here
        {kW2Model, 30, 34 * kSecond},
        {kW3Model, 30, 30 * kSecond},
        {kW4Model, 30, 29 * kSecond},  // 30 s after a start, 31 s after each kick
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        Arm(c.model, c.seconds, 1);
        for (u64 t = 0; t < 20 * kMinute; t += c.kickEveryMs) {
            Advance(c.kickEveryMs);
            ASSERT_EQ(ResetWDT(), 1);
        }
        EXPECT_EQ(Resets().count, 0u);
        Unload();
    }
}

// Stopped, it never resets, and the unload after the stop does not stop it
// again.
TEST_F(WdtBoardTest, StoppedNeverResetsAndTheUnloadLeavesTheChipAlone) {
    for (const char* model : {kW1Model, kW2Model, kW3Model, kW4Model}) {
        SCOPED_TRACE(model);
        Arm(model, 3, 1);
        Advance(2 * kSecond);
        ASSERT_EQ(StopWDT(), 1);
        Advance(kHour);
        EXPECT_EQ(Resets().count, 0u);
        ClearLog();
        Unload();
        for (const sim::Access& a : Log()) EXPECT_NE(a.address, 0x2Eu) << "no second stop at unload";
    }
}

}  // namespace
}  // namespace hx::test
