// The virtual firmware's LED output driver: command 7Ah, read in the form
// of the board's driver. docs/virtual-firmware.md gives the bytes their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

void LedCommand(McuFirmwareState& state, u32 word);

}  // namespace hx::sim
