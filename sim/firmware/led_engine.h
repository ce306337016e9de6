// The virtual firmware's LED output driver: command 7Ah, echoed whatever it
// carries, read in the form of the board's driver (LedDriver) into the
// current and duty of each output. A frame the driver cannot take changes
// nothing and is counted as refused. docs/virtual-firmware.md gives the
// bytes their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

void LedCommand(McuFirmwareState& state, u32 word);
// The outputs of the board's driver: 1 (Linear, Dimmer), 4 (Channels), 0 (none).
u32 LedOutputs(LedDriver driver);

}  // namespace hx::sim
