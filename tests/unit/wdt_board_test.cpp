// The watchdog end to end on the board clock: an armed watchdog that is not
// kicked resets the virtual machine at the programmed time (the Super I/O or
// the TCO timer, whichever runs out first); kicked, stopped or disarmed at
// unload, it never does.
#include <cstring>

#include "core/state.h"
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
    // Advances in steps of `stepMs`, kicking after each, for `totalMs`.
    static void KickEvery(u64 stepMs, u64 totalMs) {
        for (u64 t = 0; t < totalMs; t += stepMs) {
            Advance(stepMs);
            ASSERT_EQ(ResetWDT(), 1);
        }
    }
};

struct ExpiryCase {
    const char* model;
    u16 count;
    u8 unit;
    u64 resetAfterMs;
    const char* cause;
};

void PrintTo(const ExpiryCase& c, std::ostream* os) {
    *os << c.model << " " << c.count << (c.unit ? " s" : " min");
}

// W1's TCO runs out twice (0.6 s ticks) before it resets; up to 5 s it
// beats the Super I/O, which has 5 s of margin.
const ExpiryCase kExpiries[] = {
    {kW1Model, 30, 1, 35 * kSecond, "Super I/O IT8783 watchdog via KRST#"},
    {kW1Model, 3, 1, 6 * kSecond, "ICH TCO timer, second time-out"},
    {kW1Model, 5, 1, 9600, "ICH TCO timer, second time-out"},
    {kW1Model, 2, 0, 3 * kMinute, "Super I/O IT8783 watchdog via KRST#"},
    {"Vexa-02", 700, 1, 705 * kSecond, "Super I/O IT8783 watchdog via KRST#"},
    {kW2Model, 30, 1, 35 * kSecond, "Super I/O IT8768 watchdog via PWROK"},
    {"Vexa-06", 1, 0, 2 * kMinute, "Super I/O IT8768 watchdog via PWROK"},
    {kW3Model, 30, 1, 31 * kSecond, "Super I/O IT8786 watchdog via KRST#"},
    {kW3Model, 2, 0, 2 * kMinute, "Super I/O IT8786 watchdog via KRST#"},
    {kW4Model, 30, 1, 30 * kSecond, "Super I/O IT8786 watchdog via PWROK"},
    {"Trelo-19", 1, 0, 1 * kMinute, "Super I/O IT8786 watchdog via PWROK"},
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

// Every model carries the Super I/O its family drives, and the W1 models the
// TCO timer: the default 255 s arms them and expires on the chip that the
// margins predict (the Super I/O; 5 s later on W1 and W2, 1 s on W3).
TEST_F(WdtBoardTest, EveryModelArmsItsChipsAndResetsOnTime) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        SCOPED_TRACE(m.name);
        LoadModel(m.name);
        const char* family = CurrentPlatform.load()->wdt.family;
        ASSERT_EQ(InitWDT(), 1);
        ASSERT_EQ(StartWDT(), 1);
        EXPECT_TRUE(Sio().Counting());
        const bool w1 = std::strcmp(family, "W1") == 0;
        EXPECT_EQ(sim::TheBoardState().tco.present && Tco().Running(), w1);
        const u64 expected = (w1 || std::strcmp(family, "W2") == 0) ? 260 * kSecond
                             : std::strcmp(family, "W3") == 0      ? 256 * kSecond
                                                                   : 255 * kSecond;
        Advance(expected);
        EXPECT_EQ(Resets().count, 1u);
        EXPECT_EQ(Resets().lastAtMs, expected);
        EXPECT_NE(std::strstr(Resets().lastCause, "Super I/O"), nullptr) << Resets().lastCause;
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
        KickEvery(c.kickEveryMs, 20 * kMinute);
        EXPECT_EQ(Resets().count, 0u);
        Unload();
    }
}

TEST_F(WdtBoardTest, AKickReloadsWithTheKickMargin) {
    Arm(kW4Model, 30, 1);
    Advance(20 * kSecond);
    ASSERT_EQ(ResetWDT(), 1);
    Advance(31 * kSecond - 1);
    EXPECT_EQ(Resets().count, 0u);
    Advance(1);
    EXPECT_EQ(Resets().count, 1u);
}

TEST_F(WdtBoardTest, StoppedNeverResets) {
    for (const char* model : {kW1Model, kW2Model, kW3Model, kW4Model}) {
        SCOPED_TRACE(model);
        Arm(model, 3, 1);
        Advance(2 * kSecond);
        ASSERT_EQ(StopWDT(), 1);
        Advance(kHour);
        EXPECT_EQ(Resets().count, 0u);
        Unload();
    }
}

TEST_F(WdtBoardTest, UnloadWithAnArmedWatchdogDisarmsIt) {
    for (const char* model : {kW1Model, kW2Model, kW3Model, kW4Model}) {
        SCOPED_TRACE(model);
        Arm(model, 10, 1);
        Advance(5 * kSecond);
        Unload();  // process detach
        EXPECT_FALSE(Sio().Counting());
        Advance(kHour);
        EXPECT_EQ(Resets().count, 0u);
    }
}

TEST_F(WdtBoardTest, UnloadAfterStopLeavesTheChipAlone) {
    Arm(kW2Model, 10, 1);
    ASSERT_EQ(StopWDT(), 1);
    ClearLog();
    Unload();
    for (const sim::Access& a : Log()) EXPECT_NE(a.address, 0x2Eu) << "no second stop at unload";
}

TEST_F(WdtBoardTest, A16BitWrapToZeroLeavesTheChipDisarmed) {
    Arm(kW3Model, 65535, 1);  // 65535 + 1 = 0
    EXPECT_FALSE(Sio().Counting());
    Advance(kHour);
    EXPECT_EQ(Resets().count, 0u);
}

}  // namespace
}  // namespace hx::test
