#include "sim/firmware/adc_engine.h"

#include <algorithm>

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {
namespace {

using namespace fw;

// A 12-bit converter whose 3723 counts span 33 V at the input.
constexpr u64 kFullScaleMillivolts = 33000, kFullScaleCounts = 3723;

u32 Channels(const McuFirmwareState& s) { return s.functions.adcChannels; }

// The channels a start or stop word names, among those the board has.
u32 Named(const McuFirmwareState& s, u32 word) {
    const u32 all = (1u << Channels(s)) - 1;
    return word == 0 ? all : word & all;
}

u32 Live(const McuFirmwareState& s, u32 channel) { return AdcCounts(s.world.adc.millivolts[channel]); }

void Stop(McuFirmwareState& s, u32 word) {
    const u32 stopping = Named(s, word) & ~s.adc.held;
    for (u32 ch = 0; ch < Channels(s); ++ch) {
        if (stopping >> ch & 1u) s.adc.sample[ch] = Live(s, ch);
    }
    s.adc.held |= stopping;
    s.adc.stopValue = word;
}

}  // namespace

u32 AdcCounts(u32 millivolts) {
    return static_cast<u32>(std::min<u64>(u64{millivolts} * kFullScaleCounts / kFullScaleMillivolts, kAdcCountsMax));
}

void AdcCommand(McuFirmwareState& s, u8 code, u32 word) {
    if (code == kAdcStop) {
        Stop(s, word);
    } else if (code == kAdcStart) {
        s.adc.held &= ~Named(s, word);
        s.adc.startValue = word;
    }
}

u32 AdcQuery(McuFirmwareState& s, u32 channel) {
    if (channel >= Channels(s) || channel >= kAdcChannelsMax) return kAdcNoChannel;
    return s.adc.held >> channel & 1u ? s.adc.sample[channel] : Live(s, channel);
}

}  // namespace hx::sim
