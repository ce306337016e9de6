#include "sim/firmware/pwm_engine.h"

#include <algorithm>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

constexpr u32 kPowerOnClockHz = 1000000;
constexpr u32 kGeneratorShift = 24;  // event payload byte 3
constexpr u32 kDutyFull = 1000;      // tenths of a percent
constexpr double kPercent = 100.0;

// Setup words.
constexpr u32 kSetupPeriod = 0;
constexpr u32 kSetupWidth = 1;
constexpr u32 kSetupFlags = 2;
constexpr u32 kFlagInverted = 1u << 0;

u32 OutputMask(const McuFirmwareState& s) { return (1u << PwmOutputsOf(s)) - 1; }

bool Bit(u32 mask, u32 n) { return (mask >> n) & 1u; }

// The share of the period output n is active (0..1): a width beyond the
// period keeps it active throughout; with a period of 0 any width does.
double ActiveShare(const PwmEngineState& p, u32 n) {
    if (p.period[n] == 0) return p.width[n] ? 1.0 : 0.0;
    return static_cast<double>(std::min(p.width[n], p.period[n])) / p.period[n];
}

// The same in whole tenths of a percent, rounded down.
u32 ActiveTenths(const PwmEngineState& p, u32 n) {
    if (p.period[n] == 0) return p.width[n] ? kDutyFull : 0;
    return static_cast<u32>(u64{std::min(p.width[n], p.period[n])} * kDutyFull / p.period[n]);
}

void Raise(McuFirmwareState& s, u32 n, u32 status) {
    const u32 payload = n << kGeneratorShift | ActiveTenths(s.pwm, n) << kPwmStatusDutyShift | status;
    if (FirmwareRaiseEvent(s, kEventPwmStatus, payload)) ++s.pwm.events;
}

// After a start or a new period or width: a running generator whose width
// exceeds its period says so.
void CheckWidth(McuFirmwareState& s, u32 n) {
    const PwmEngineState& p = s.pwm;
    if (Bit(p.running, n) && p.width[n] > p.period[n]) Raise(s, n, kPwmStatusWidthExceedsPeriod);
}

void Start(McuFirmwareState& s, u32 mask) {
    const u32 starting = mask & OutputMask(s) & ~s.pwm.running;
    for (u32 n = 0; n < PwmOutputsOf(s); ++n) {
        if (!Bit(starting, n)) continue;
        s.pwm.running |= 1u << n;
        Raise(s, n, kPwmStatusStarted);
        CheckWidth(s, n);
    }
}

void Stop(McuFirmwareState& s, u32 mask) {
    const u32 stopping = mask & s.pwm.running;
    for (u32 n = 0; n < PwmOutputsOf(s); ++n) {
        if (!Bit(stopping, n)) continue;
        s.pwm.running &= ~(1u << n);
        Raise(s, n, kPwmStatusStopped);
    }
}

// The record takes effect with its last word, all three at once.
void SetupWord(McuFirmwareState& s, u32 n, u32 index, u32 word) {
    PwmEngineState& p = s.pwm;
    p.genSetup[n][index] = word;
    if (index != kSetupFlags) return;
    p.period[n] = p.genSetup[n][kSetupPeriod];
    p.width[n] = p.genSetup[n][kSetupWidth];
    p.inverted = (p.inverted & ~(1u << n)) | (word & kFlagInverted) << n;
    CheckWidth(s, n);
}

// A post for generator or output `n`: applied when the board has it.
template <typename Apply>
void ForOutput(McuFirmwareState& s, u32 n, Apply apply) {
    if (n < PwmOutputsOf(s)) {
        apply(n);
    } else {
        ++s.pwm.ignored;
    }
}

}  // namespace

u32 PwmOutputsOf(const McuFirmwareState& s) { return std::min<u32>(s.functions.pwmOutputs, kPwmOutputsMax); }

void PwmPost(McuFirmwareState& s, u8 code, u32 word) {
    PwmEngineState& p = s.pwm;
    switch (code) {
        case kPwmStop: Stop(s, word); return;
        case kPwmStart: Start(s, word); return;
        case kPwmGenerator: p.generator = word; return;
        case kPwmPulse: p.pulse = word; return;
        case kPwmInvert: p.inverted = word & OutputMask(s); return;
        case kPwmClock: p.clock = word; return;
        case kPwmPeriod:
            ForOutput(s, p.generator, [&](u32 n) { p.period[n] = word, CheckWidth(s, n); });
            return;
        case kPwmWidth:
            ForOutput(s, p.pulse, [&](u32 n) { p.width[n] = word, CheckWidth(s, n); });
            return;
        case kPwmSyncTimeBase: ForOutput(s, p.generator, [&](u32 n) { ++p.timeBaseSyncs[n]; }); return;
        case kPwmSyncUpdate: ForOutput(s, p.generator, [&](u32 n) { ++p.updateSyncs[n]; }); return;
        default: break;
    }
    if (code >= kPwmSetupFirst && code <= kPwmSetupLast) {
        ForOutput(s, p.generator, [&](u32 n) { SetupWord(s, n, code - kPwmSetupFirst, word); });
    }
}

PwmOutputView PwmOutputOf(const McuFirmwareState& s, u32 n) {
    const PwmEngineState& p = s.pwm;
    PwmOutputView v{};
    v.clockHz = p.clock ? p.clock : kPowerOnClockHz;
    if (n >= PwmOutputsOf(s)) return v;
    v.exists = true;
    v.running = Bit(p.running, n);
    v.inverted = Bit(p.inverted, n);
    v.period = p.period[n];
    v.width = p.width[n];
    // A stopped output rests at its inactive level.
    const double active = v.running ? ActiveShare(p, n) : 0.0;
    v.dutyPercent = kPercent * (v.inverted ? 1.0 - active : active);
    const bool toggles = active > 0.0 && active < 1.0;
    v.frequencyHz = toggles ? static_cast<double>(v.clockHz) / v.period : 0.0;
    return v;
}

}  // namespace hx::sim
