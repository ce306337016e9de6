#include "sim/firmware/ignition_engine.h"

#include <algorithm>
#include <cstring>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

constexpr u32 kPayload = 2;

// Ignition text requests: the four ASCII letters of the payload.
constexpr u8 kTextState[4] = {'I', 'G', 'N', 'S'};
constexpr u8 kTextVoltage[4] = {'V', 'O', 'L', 'T'};
// The older firmware's state answer: payload byte 0 is 1 while the key is on.
constexpr u32 kTextKeyOn = 1;

// The battery input. The 33 V form: a 12-bit converter on which 3723 counts
// are 33 V. The other two: a 3.4 V reference behind an 11:1 divider (37.4 V
// full scale), read with 12 or 10 bits.
constexpr BatteryScale kScale33V{33000, 3723, 4095};
constexpr BatteryScale kScale12Bit{37400, 4096, 4095};
constexpr BatteryScale kScale10Bit{37400, 1024, 1023};

// The board at rest, and the settings the controller leaves the factory
// with: the PC follows the key and the cut-off; 5 s from key on to power
// on, 30 s from key off to the shutdown request, 120 s more to power off;
// the cut-off at 10.5 V.
constexpr u32 kBatteryAtRestMillivolts = 12000;
constexpr u32 kTicksPerSecond = 50;
constexpr u32 kFactoryMode = kIgnitionModeKeyControl | kIgnitionModeCutOff;
constexpr u32 kFactoryOnDelayS = 5, kFactoryOffDelayS = 30, kFactoryHardOffDelayS = 120;
constexpr u32 kFactoryCutOffMillivolts = 10500;

}  // namespace

BatteryScale BatteryScaleOf(IgnitionSense sense) {
    switch (sense) {
        case IgnitionSense::Queries33V: return kScale33V;
        case IgnitionSense::Queries12Bit: return kScale12Bit;
        case IgnitionSense::Text10Bit: return kScale10Bit;
        default: return {};
    }
}

u32 BatteryReading(IgnitionSense sense, u32 millivolts) {
    const BatteryScale s = BatteryScaleOf(sense);
    if (s.counts == 0) return 0;
    const u64 reading = u64{millivolts} * s.counts / s.fullScaleMillivolts;
    return static_cast<u32>(std::min<u64>(reading, s.maxReading));
}

IgnitionWorld IgnitionAtRest(IgnitionSense sense) {
    IgnitionWorld w{};
    w.keyOn = true;
    w.batteryMillivolts = kBatteryAtRestMillivolts;
    w.settings[kIgnitionMode] = kFactoryMode;
    w.settings[kIgnitionOnDelay] = kFactoryOnDelayS * kTicksPerSecond;
    w.settings[kIgnitionOffDelay] = kFactoryOffDelayS * kTicksPerSecond;
    w.settings[kIgnitionHardOffDelay] = kFactoryHardOffDelayS * kTicksPerSecond;
    w.settings[kIgnitionCutOff] = BatteryReading(sense, kFactoryCutOffMillivolts);
    return w;
}

u32 IgnitionBatteryReading(const McuFirmwareState& s) {
    return BatteryReading(s.functions.ignition, s.world.ignition.batteryMillivolts);
}

u32 IgnitionStateWord(const McuFirmwareState& s) {
    const IgnitionWorld& w = s.world.ignition;
    u32 word = w.keyOn ? kIgnitionKeyOnBit : 0;
    if (IgnitionBatteryReading(s) < w.settings[kIgnitionCutOff]) word |= kIgnitionBatteryLowBit;
    return word;
}

u32 IgnitionQuery(McuFirmwareState& s, u8 code, u32 /*word*/) {
    if (code == kIgnState) return IgnitionStateWord(s);
    if (code == kIgnBattery) return IgnitionBatteryReading(s);
    if (code >= kIgnSettingFirst && code <= kIgnSettingLast) return s.world.ignition.settings[code - kIgnSettingFirst];
    return 0;
}

u32 IgnitionText(McuFirmwareState& s, const u8* request, u8* out) {
    if (std::memcmp(request + kPayload, kTextState, sizeof kTextState) == 0) {
        BuildAnswerFrame(kIgnText, s.world.ignition.keyOn ? kTextKeyOn : 0u, out);
        return kMcuFrameBytes;
    }
    if (std::memcmp(request + kPayload, kTextVoltage, sizeof kTextVoltage) == 0) {
        BuildAnswerFrame(kIgnText, IgnitionBatteryReading(s), out);
        return kMcuFrameBytes;
    }
    return 0;
}

}  // namespace hx::sim
