// The virtual firmware's analog inputs: start A1h, stop A0h, reading A2h.
// docs/virtual-firmware.md gives the words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

void AdcCommand(McuFirmwareState& state, u8 code, u32 word);
// The raw reading of channel `channel`.
u32 AdcQuery(McuFirmwareState& state, u32 channel);

}  // namespace hx::sim
