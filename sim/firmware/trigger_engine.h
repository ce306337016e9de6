// The virtual firmware's trigger I/O blocks, DTIO (61h..64h, setup from 69h)
// and DTFO (41h..44h, setup from 49h), in the dialect the board's firmware
// speaks. docs/virtual-firmware.md gives the words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A command of the blocks' codes (stop, prepare, start, unit); `word` is 0
// for a short command.
void TriggerCommand(McuFirmwareState& state, u8 code, u32 word);

}  // namespace hx::sim
