// The virtual firmware's DI change-of-state engine: commands 30h..33h.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A command of the engine's codes (stop, start, setup, second setup word).
void DicosCommand(McuFirmwareState& state, u8 code, u32 word);

}  // namespace hx::sim
