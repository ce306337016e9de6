#include "sim/firmware/led_engine.h"

#include <cmath>

namespace hx::sim {
namespace {

// Payload bytes 2..5 of the frame: b2, b3 and the 16-bit word b4:b5.
struct LedFrame {
    u32 b2, b3, word;
};

constexpr u32 kByteMask = 0xFF, kByteBits = 8, kWordShift = 16;

LedFrame Split(u32 payload) { return {payload & kByteMask, payload >> kByteBits & kByteMask, payload >> kWordShift}; }

constexpr u32 kFullDuty = 100;  // percent

// The current of a linear transfer: mA = setting x slope - offset, rounded,
// no less than 0 (the output stays dark below the offset).
u32 Milliamps(double setting, double slope, double offset) {
    const double mA = std::round(setting * slope - offset);
    return mA > 0 ? static_cast<u32>(mA) : 0;
}

void Drive(LedOutputState& o, u32 setting, u32 current, u32 duty) {
    o = {setting, current, duty, current > 0 && duty > 0};
}

void SwitchOff(LedOutputState& o) { o.on = false; }

// ---- Linear: one output; b2 the mode (0 off, 1 and 2 on), b3 00h, the word
// the driver's register: a 12-bit setting in bits 2..13, 2.0582 mA a step
// above an offset of 62.863 mA.
constexpr u32 kLinearOn = 1, kLinearModeLast = 2;
constexpr u32 kLinearSettingShift = 2, kLinearSettingMask = 0xFFF;
constexpr double kLinearSlope = 2.0582, kLinearOffset = 62.863;

bool Linear(LedEngineState& led, const LedFrame& f) {
    if (f.b2 > kLinearModeLast || f.b3 != 0) return false;
    LedOutputState& o = led.outputs[0];
    if (f.b2 < kLinearOn) return SwitchOff(o), true;
    const u32 setting = f.word >> kLinearSettingShift & kLinearSettingMask;
    Drive(o, setting, Milliamps(setting, kLinearSlope, kLinearOffset), kFullDuty);
    return true;
}

// ---- Channels: four outputs; b2 the mode (low nibble: 0 off, 1..3 on) and
// the outputs it sets (high nibble, output n at bit n), b3 the duty in
// percent, the word a current code of 0.1705 a mA above 34.6 (0: none).
constexpr u32 kChannelsModeLast = 3, kNibble = 0xF, kMaskShift = 4;
constexpr double kCodeSlope = 1 / 0.1705, kCodeOffset = 34.6 / 0.1705;

bool Channels(LedEngineState& led, const LedFrame& f) {
    const u32 mode = f.b2 & kNibble, mask = f.b2 >> kMaskShift;
    if (mode > kChannelsModeLast || f.b3 > kFullDuty) return false;
    for (u32 n = 0; n < kLedOutputsMax; ++n) {
        if (!(mask >> n & 1u)) continue;
        if (mode == 0) Drive(led.outputs[n], 0, 0, 0);
        else Drive(led.outputs[n], f.word, f.word ? Milliamps(f.word, kCodeSlope, kCodeOffset) : 0, f.b3);
    }
    return true;
}

// ---- Dimmer: one output; b2 the mode (0 off, 1 on at the level given, 2 on
// at the level it has), a 10-bit level in b3 (bits 6..9) and b4 (bits 0..5
// at bits 2..7), 0.8403 a mA; b5 is not looked at.
constexpr u32 kDimmerLevelMode = 1, kDimmerModeLast = 2;
constexpr u32 kLevelHighShift = 6, kLevelHighMax = 0xF, kLevelLowShift = 2;
constexpr double kDimmerSlope = 1 / 0.8403;

bool Dimmer(LedEngineState& led, const LedFrame& f) {
    if (f.b2 > kDimmerModeLast || f.b3 > kLevelHighMax) return false;
    LedOutputState& o = led.outputs[0];
    if (f.b2 == 0) return SwitchOff(o), true;
    const u32 level = f.b2 == kDimmerLevelMode ? f.b3 << kLevelHighShift | (f.word & kByteMask) >> kLevelLowShift : o.setting;
    Drive(o, level, Milliamps(level, kDimmerSlope, 0), kFullDuty);
    return true;
}

bool Take(McuFirmwareState& s, const LedFrame& f) {
    switch (s.functions.led) {
        case LedDriver::Linear: return Linear(s.led, f);
        case LedDriver::Channels: return Channels(s.led, f);
        case LedDriver::Dimmer: return Dimmer(s.led, f);
        default: return false;
    }
}

}  // namespace

u32 LedOutputs(LedDriver driver) {
    switch (driver) {
        case LedDriver::Linear:
        case LedDriver::Dimmer: return 1;
        case LedDriver::Channels: return kLedOutputsMax;
        default: return 0;
    }
}

void LedCommand(McuFirmwareState& s, u32 word) {
    s.led.setting = word;
    ++(Take(s, Split(word)) ? s.led.taken : s.led.refused);
}

}  // namespace hx::sim
