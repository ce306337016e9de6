#include "sim/firmware/ignition_engine.h"

#include <cstring>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

constexpr u32 kPayload = 2;

// Ignition text requests: the four ASCII letters of the payload.
constexpr u8 kTextState[4] = {'I', 'G', 'N', 'S'};
constexpr u8 kTextVoltage[4] = {'V', 'O', 'L', 'T'};

// Full-scale readings of the battery input in millivolts, and their counts.
constexpr u64 kRange33VMillivolts = 33000, kRange33VCounts = 3723;
constexpr u64 kDividerMillivolts = 37400;  // 3.4 V reference behind an 11:1 divider
constexpr u64 k12BitCounts = 4096, k10BitCounts = 1024;

u32 Reading(u64 millivolts, u64 fullScaleMillivolts, u64 counts) {
    return static_cast<u32>(millivolts * counts / fullScaleMillivolts);
}

u32 BatteryRaw(const McuFirmwareState& s) {
    const u64 mv = s.world.ignition.batteryMillivolts;
    switch (s.functions.ignition) {
        case IgnitionSense::Queries33V: return Reading(mv, kRange33VMillivolts, kRange33VCounts);
        case IgnitionSense::Queries12Bit: return Reading(mv, kDividerMillivolts, k12BitCounts);
        case IgnitionSense::Text10Bit: return Reading(mv, kDividerMillivolts, k10BitCounts);
        default: return 0;
    }
}

}  // namespace

u32 IgnitionQuery(McuFirmwareState& s, u8 code, u32 /*word*/) {
    if (code == kIgnState) return s.world.ignition.keyOn ? 1u : 0u;
    if (code == kIgnBattery) return BatteryRaw(s);
    if (code >= kIgnSettingFirst && code <= kIgnSettingLast) return s.ign.settings[code - kIgnSettingFirst];
    return 0;
}

u32 IgnitionText(McuFirmwareState& s, const u8* request, u8* out) {
    if (std::memcmp(request + kPayload, kTextState, sizeof kTextState) == 0) {
        BuildAnswerFrame(kIgnText, s.world.ignition.keyOn ? 1u : 0u, out);
        return kMcuFrameBytes;
    }
    if (std::memcmp(request + kPayload, kTextVoltage, sizeof kTextVoltage) == 0) {
        BuildAnswerFrame(kIgnText, BatteryRaw(s), out);
        return kMcuFrameBytes;
    }
    return 0;
}

}  // namespace hx::sim
