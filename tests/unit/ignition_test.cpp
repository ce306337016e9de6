// Ignition G1, G2, G3 through the exports on the virtual board: the request
// frames, the exact conversions of answers the firmware is made to give,
// the settings record with its partial results, the size and null rules,
// and every model reading its own key and battery.
#include <cmath>
#include <cstring>

#include "halvex32.h"
#include "halvex32_service.h"
#include "sim/mcu_board.h"
#include "tests/unit/halvexctl_rows.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

const Frame7 kIgns{0x23, 0x3F, 0x49, 0x47, 0x4E, 0x53, 0x93};
const Frame7 kVolt{0x23, 0x3F, 0x56, 0x4F, 0x4C, 0x54, 0xA7};
constexpr u32 kStateBefore = 0x12345678;
constexpr double kVoltsBefore = -1.0;

using Ignition = McuLinkTest;

// `out`: the state word or the volts afterwards (the value before on failure).
struct ReadCase { const char* model; bool volts; Frame7 answer; Bool32 ok; double out; Frame7 sent; };
const ReadCase kReadCases[] = {
    {"Trelo-05", true, MakeFrame(0xF6, 3723), 1, 33.0, MakeFrame(0xF6, 0)},
    {"Trelo-11", true, MakeFrame(0xF6, 4096), 1, 37.4, MakeFrame(0xF6, 0)},
    {"Trelo-05", true, MakeFrame(0xF6, 0x80000000), 1, 19034907.43593876, MakeFrame(0xF6, 0)},
    {"Trelo-07", true, {0x23, 0x3F, 0xFF, 0xFF, 0, 0, 0x60}, 1, 37.3634765625, kVolt},
    {"Trelo-09", true, {0x40, 0x00, 0x01, 0x04, 0x80, 0, 0xC5}, 1, 0.0365234375, kVolt},  // lead and code not examined
    {"Trelo-07", true, {0x23, 0x3F, 0x10, 0x01, 0, 0, 0x74}, 0, kVoltsBefore, kVolt},  // checksum 73h
    {"Trelo-07", false, {0x23, 0x3F, 0x07, 0, 0, 0, 0x69}, 1, 1, kIgns},
    {"Trelo-05", false, MakeFrame(0xF5, 0xDEADBEEF), 1, 0xDEADBEEF, MakeFrame(0xF5, kStateBefore)},
};

TEST_F(Ignition, StateAndVoltageFromTheAnswerBytes) {
    for (const ReadCase& c : kReadCases) {
        LoadAndOpen(c.model);
        Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });  // the injected answer comes instead
        Inject(c.answer);
        u32 state = kStateBefore;
        double volts = kVoltsBefore;
        EXPECT_EQ(c.volts ? IGN_GetBatteryVoltage(&volts) : IGN_GetState(&state), c.ok) << &c - kReadCases;
        EXPECT_EQ(c.volts ? volts : state, c.out) << &c - kReadCases;
        WaitForFrames(1);  // the injected answer may be read before the firmware took the request
        EXPECT_EQ(FramesSince(0), std::vector<Frame7>{c.sent}) << &c - kReadCases;
        Unload(), sim::StopBoardLinks();
    }
}

// The firmware's settings: mode 7, delays 100, 150, 51 ticks, cut-off
// reading 80000000h. The record before: 1, 2, 3, 4, 0.1 (low half 9999999Ah).
// `answered`: answers before the one that is dropped (5: none is).
struct SettingCase { const char* model; u32 size, answered; Bool32 ok; IgnSetting after; std::vector<u32> payloads; };
const SettingCase kSettingCases[] = {
    {"Trelo-11", 24, 5, 1, {7, 2, 3, 1, 19608371.2}, {1, 2, 3, 4, 0}},
    {"Trelo-05", 32, 5, 1, {7, 2, 3, 1, 19034907.43593876}, {1, 2, 3, 4, 0x9999999A}},
    {"Trelo-11", 24, 2, 0, {7, 100, 3, 4, 0.0}, {1, 2, 3}},
    {"Trelo-05", 24, 2, 0, {7, 100, 3, 4, 0.1}, {1, 2, 3}},
    {"Trelo-16", 23, 5, 0, {1, 2, 3, 4, 0.1}, {}},
};

TEST_F(Ignition, SettingsRecordAndItsPartialResults) {
    for (const SettingCase& c : kSettingCases) {
        LoadAndOpen(c.model);
        sim::SetIgnitionSettings({7, 100, 150, 51, 0x80000000});
        if (c.answered < 5) Arm([&](sim::LinkFaultState& f) { f.passAnswers = c.answered, f.dropAnswers = 1; });
        IgnSetting r{1, 2, 3, 4, 0.1};
        EXPECT_EQ(IGN_GetSetting(&r, c.size), c.ok) << &c - kSettingCases;
        EXPECT_EQ(std::memcmp(&r, &c.after, sizeof r), 0) << &c - kSettingCases << " " << r.setting1 << " " << r.voltage;
        std::vector<Frame7> sent;
        for (u32 i = 0; i < c.payloads.size(); ++i) sent.push_back(MakeFrame(static_cast<u8>(0xF7 + i), c.payloads[i]));
        EXPECT_EQ(FramesSince(0), sent) << &c - kSettingCases;
        Unload(), sim::StopBoardLinks();
    }
}

// Null pointers send nothing. Key off, then on, with the battery at 13.8 V:
// the exports succeed exactly where the board's MCU has the sense (the
// settings in its query forms), the volts lie within one count below the
// board's, and a board without the sense never sees its MCU link looked for.
TEST_F(Ignition, EveryBoardReadsItsOwnKeyAndBattery) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        Reload(m.name, false);
        const sim::IgnitionSense sense = m.mcuFunctions ? m.mcuFunctions->ignition : sim::IgnitionSense::None;
        const bool senses = sense != sim::IgnitionSense::None, queries = senses && sense != sim::IgnitionSense::Text10Bit;
        EXPECT_TRUE(!IGN_GetState(nullptr) && !IGN_GetBatteryVoltage(nullptr) && !IGN_GetSetting(nullptr, 24) &&
                    FramesReceived() == 0) << m.name;
        EXPECT_EQ(service::SetBoardIgnition(false) && service::SetBoardBatteryVolts(13.8), senses) << m.name;
        u32 off = 7, on = 7;
        double volts = 0;
        IgnSetting s{};
        EXPECT_EQ(IGN_GetState(&off), senses) << m.name;
        service::SetBoardIgnition(true);
        EXPECT_EQ(IGN_GetState(&on) && IGN_GetBatteryVoltage(&volts), senses) << m.name;
        EXPECT_EQ(IGN_GetSetting(&s, sizeof s), queries) << m.name;
        const service::BoardIgnition b = service::GetBoardIgnition();
        const double count = b.fullScaleVolts / b.counts;
        EXPECT_TRUE(!senses || (off == 0 && on == 1 && volts <= 13.8 && volts > 13.8 - count)) << m.name << " " << volts;
        EXPECT_TRUE(!queries || std::abs(s.voltage - b.settings[4] * count) < 1e-9) << m.name << " " << s.voltage;
        EXPECT_TRUE(senses || LinkLookups() == 0) << m.name;
    }
}

TEST(IgnitionHalvexctl, ReadsAndDrivesTheKeyAndBattery) {
    ExpectHalvexctlRows({
        {"--virtual Trelo-05 ign settings", 0, "setting0 00000003\nsetting1 5\nsetting2 30\nsetting3 120\nvoltage  10.495 V\n"},
        {"--virtual Trelo-11 board ign off", 0, "library: state 00000000, battery 11.998 V\n"},
        {"--virtual Trelo-09 board battery 24.5", 0, "library: state 00000001, battery 24.471 V\n"},
    });
}

}  // namespace
}  // namespace hx::test
