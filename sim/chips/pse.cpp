#include "sim/chips/pse.h"

namespace hx::sim {
namespace {

constexpr u8 kRegMode = 0x12;
constexpr u8 kRegEnable = 0x14;
constexpr u8 kModeMask = 0x3;
constexpr u8 kModeAuto = 0x3;
constexpr u8 kClassEnableShift = 4;

constexpr u8 kRegControl0 = 0x18;
constexpr u8 kRegStatus0 = 0x28;
constexpr u8 kControlOff = 0x10;
constexpr u8 kStatusClass4 = 0x40;   // a class 4 device sits on every port
constexpr u8 kStatusPowered = 0x04;

bool IsStatus(u8 reg) { return reg >= kRegStatus0 && reg < kRegStatus0 + kPseChannels; }

}  // namespace

void PseController::Install(u8 address, PseLayout layout) {
    state_ = PseControllerState{};
    state_.present = true;
    state_.address = address;
    state_.layout = layout;
    if (layout == PseLayout::ControlStatus) {
        for (u8 c = 0; c < kPseChannels; ++c) state_.regs[kRegControl0 + c] = kControlOff;
    }
}

bool PseChannelPowered(const PseControllerState& state, u8 channel) {
    if (channel >= kPseChannels) return false;
    if (state.layout == PseLayout::ControlStatus) return !(state.regs[kRegControl0 + channel] & kControlOff);
    const u8 enable = state.regs[kRegEnable];
    const bool detect = enable >> channel & 1;
    const bool classify = enable >> (channel + kClassEnableShift) & 1;
    return ((state.regs[kRegMode] >> (2 * channel)) & kModeMask) == kModeAuto && detect && classify;
}

bool PseController::Powered(u8 channel) const { return PseChannelPowered(state_, channel); }

u8 PseController::Read(u8 reg) const {
    if (reg >= kPseRegs) return 0;
    if (state_.layout == PseLayout::ControlStatus && IsStatus(reg)) {
        return static_cast<u8>(kStatusClass4 | (Powered(static_cast<u8>(reg - kRegStatus0)) ? kStatusPowered : 0));
    }
    return state_.regs[reg];
}

void PseController::Write(u8 reg, u8 value) {
    if (reg >= kPseRegs) return;
    if (state_.layout == PseLayout::ControlStatus && IsStatus(reg)) return;
    state_.regs[reg] = value;
}

}  // namespace hx::sim
