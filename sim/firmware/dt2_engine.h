// The virtual firmware's DT2 trigger engine: commands 50h..5Ah and 5Fh.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A command of the engine's codes (stop, start, unit, setup words, result).
void Dt2Command(McuFirmwareState& state, u8 code, u32 word);

}  // namespace hx::sim
