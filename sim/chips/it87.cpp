#include "sim/chips/it87.h"

#include <algorithm>
#include <cstdio>

namespace hx::sim {
namespace {

constexpr u8 kEntryKey[] = {0x87, 0x01, 0x55, 0x55};
constexpr u8 kEntryKeyLength = sizeof kEntryKey;

constexpr u8 kRegConfigControl = 0x02;
constexpr u8 kReturnToWaitForKey = 0x02;
constexpr u8 kRegLogicalDevice = 0x07;
constexpr u8 kRegChipIdHigh = 0x20;
constexpr u8 kRegChipIdLow = 0x21;
constexpr u8 kRegChipVersion = 0x22;
constexpr u8 kFirstDeviceReg = 0x30;
constexpr u8 kLdnGpio = 0x07;

constexpr u8 kRegWdtConfig = 0x72;
constexpr u8 kRegWdtValueLow = 0x73;
constexpr u8 kRegWdtValueHigh = 0x74;
constexpr u8 kWdtSeconds = 0x80;
constexpr u8 kWdtKrst = 0x40;
constexpr u8 kWdtPwrOk = 0x10;

constexpr u8 kFloating = 0xFF;
constexpr u8 kChipVersion = 0x01;
constexpr u64 kMsPerSecond = 1000;
constexpr u64 kMsPerMinute = 60 * kMsPerSecond;

// Pin selections the firmware leaves behind, so that read-modify-write
// sequences have other bits to keep.
constexpr u8 kRegGpioSet3PinSelect = 0x27;
constexpr u8 kRegExtPinSelect = 0x2A;
constexpr u8 kFirmwareGpioSet3Pins = 0x14;
constexpr u8 kFirmwareExtPins = 0x03;

u8 OutputBit(ResetOutput output) { return output == ResetOutput::Krst ? kWdtKrst : kWdtPwrOk; }
const char* OutputName(ResetOutput output) { return output == ResetOutput::Krst ? "KRST#" : "PWROK"; }

}  // namespace

void It87::Install(u16 chipId) {
    state_ = It87State{};
    state_.present = true;
    state_.global[kRegChipIdHigh] = static_cast<u8>(chipId >> 8);
    state_.global[kRegChipIdLow] = static_cast<u8>(chipId & 0xFF);
    state_.global[kRegChipVersion] = kChipVersion;
    state_.global[kRegGpioSet3PinSelect] = kFirmwareGpioSet3Pins;
    state_.global[kRegExtPinSelect] = kFirmwareExtPins;
}

void It87::PowerOnReset() {
    const u32 expiries = state_.wdtExpiries;
    Install(ChipId());
    state_.wdtExpiries = expiries;
}

u16 It87::ChipId() const {
    return static_cast<u16>(state_.global[kRegChipIdHigh] << 8 | state_.global[kRegChipIdLow]);
}

u8 It87::GlobalRegister(u8 reg) const { return reg < kSioGlobalRegs ? state_.global[reg] : kFloating; }

bool It87::GpioSelected() const { return state_.global[kRegLogicalDevice] == kLdnGpio; }

u32 It87::ReadPort(u16 port, u8 size) {
    (void)size;  // byte registers; wider reads see the byte in the low lane
    if (!state_.configMode) return kFloating;
    return port == kSioIndexPort ? state_.index : ReadRegister(state_.index);
}

void It87::WritePort(u16 port, u32 value, u8 size) {
    (void)size;
    const u8 byte = static_cast<u8>(value);
    if (port == kSioIndexPort) return WriteIndexPort(byte);
    if (state_.configMode) WriteRegister(state_.index, byte);
}

// In "wait for key" the index port only watches for the entry key; a wrong
// byte starts the match again (a stray 87h counts as the first key byte).
void It87::WriteIndexPort(u8 value) {
    if (state_.configMode) {
        state_.index = value;
        return;
    }
    if (value == kEntryKey[state_.keyStep]) {
        ++state_.keyStep;
    } else {
        state_.keyStep = value == kEntryKey[0] ? 1 : 0;
    }
    if (state_.keyStep == kEntryKeyLength) {
        state_.keyStep = 0;
        state_.configMode = true;
    }
}

u8 It87::ReadRegister(u8 reg) const {
    if (reg < kFirstDeviceReg) return reg == kRegConfigControl ? 0 : state_.global[reg];
    return GpioSelected() ? state_.gpio[reg] : kFloating;
}

void It87::WriteRegister(u8 reg, u8 value) {
    if (reg < kFirstDeviceReg) {
        if (reg == kRegConfigControl) {
            if (value & kReturnToWaitForKey) state_.configMode = false;
            return;
        }
        if (reg == kRegChipIdHigh || reg == kRegChipIdLow || reg == kRegChipVersion) return;
        state_.global[reg] = value;
        return;
    }
    if (!GpioSelected()) return;  // other logical devices are not modelled
    state_.gpio[reg] = value;
    if (reg == kRegWdtValueLow || reg == kRegWdtValueHigh) LoadCounter();
}

void It87::LoadCounter() {
    state_.wdtCounter = static_cast<u16>(state_.gpio[kRegWdtValueHigh] << 8 | state_.gpio[kRegWdtValueLow]);
    state_.wdtPhaseMs = 0;
}

bool It87::CountsSeconds() const { return (state_.gpio[kRegWdtConfig] & kWdtSeconds) != 0; }

u64 It87::UnitMs() const { return CountsSeconds() ? kMsPerSecond : kMsPerMinute; }

u64 It87::MsToEvent() const {
    if (!state_.wdtCounter) return kNoEvent;
    return state_.wdtCounter * UnitMs() - state_.wdtPhaseMs;
}

// The counter ticks once per unit; a change of unit applies from the next
// tick on.
void It87::Advance(u64 fromMs, u64 toMs) {
    u64 now = fromMs;
    while (now < toMs && state_.wdtCounter) {
        const u64 unit = UnitMs();
        const u64 step = std::min<u64>(toMs - now, unit - state_.wdtPhaseMs);
        now += step;
        state_.wdtPhaseMs += static_cast<u32>(step);
        if (state_.wdtPhaseMs < unit) continue;
        state_.wdtPhaseMs = 0;
        if (--state_.wdtCounter == 0) Expire(now);
    }
}

bool It87::GateInPlace(const ResetGate& gate) const {
    u32 value = 0;
    switch (gate.site) {
        case GateSite::None:
            return true;
        case GateSite::SioGlobal:
            value = GlobalRegister(static_cast<u8>(gate.address));
            break;
        case GateSite::SioGpio:
            value = state_.gpio[static_cast<u8>(gate.address)];
            break;
        case GateSite::PhysWord:
            value = board_.BusReadPhys(gate.address);
            break;
    }
    return (value & gate.mask) == gate.want;
}

// The time-out must be routed to the output the board wires, and every pin
// or pad on the path must pass it on.
bool It87::ReachesReset() const {
    if (!wiring_ || !(state_.gpio[kRegWdtConfig] & OutputBit(wiring_->output))) return false;
    for (const ResetGate& gate : wiring_->gates) {
        if (!GateInPlace(gate)) return false;
    }
    return true;
}

void It87::Expire(u64 atMs) {
    ++state_.wdtExpiries;
    if (!ReachesReset()) return;
    char cause[kCauseMax];
    std::snprintf(cause, sizeof cause, "Super I/O IT%04X watchdog via %s on %s", ChipId(), OutputName(wiring_->output),
                  board_.State().model);
    board_.ResetMachineAt(atMs, cause);
}

}  // namespace hx::sim
