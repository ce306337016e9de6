#include "sim/firmware/adc_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

// A 12-bit converter whose 3723 counts span 33 V at the input.
constexpr u64 kFullScaleMillivolts = 33000, kFullScaleCounts = 3723;

}  // namespace

void AdcCommand(McuFirmwareState& s, u8 code, u32 word) {
    if (code == kAdcStop) s.adc.stopValue = word;
    else if (code == kAdcStart) s.adc.startValue = word;
}

u32 AdcQuery(McuFirmwareState& s, u32 channel) {
    const u64 mv = s.world.adc.millivolts[channel % kAdcChannelsMax];
    return static_cast<u32>(mv * kFullScaleCounts / kFullScaleMillivolts);
}

}  // namespace hx::sim
