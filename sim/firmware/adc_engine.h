// The virtual firmware's analog inputs: start A1h, stop A0h, reading A2h.
// A 12-bit converter whose 3723 counts span 33.0 V at the input; the board
// names how many channels it wires (0..adcChannels-1). Every channel samples
// from power-on; a stop holds a channel's last sample until a start. Start
// and stop words name channels (bit n: channel n; 0: every channel). A
// channel the board does not have reads FFFFFFFFh. docs/virtual-firmware.md.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

inline constexpr u32 kAdcNoChannel = 0xFFFFFFFF;  // the reading of a channel that is not there
inline constexpr u32 kAdcCountsMax = 0xFFF;        // the converter's top count (36.3 V)

void AdcCommand(McuFirmwareState& state, u8 code, u32 word);
// The raw reading of channel `channel`, as the query answers it.
u32 AdcQuery(McuFirmwareState& state, u32 channel);
// The converter's count for `millivolts` at its input.
u32 AdcCounts(u32 millivolts);

}  // namespace hx::sim
