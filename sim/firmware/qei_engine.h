// The virtual firmware's quadrature encoder inputs: commands B0h..B2h and
// B6h, queries B3h..B5h, setup from B9h. docs/virtual-firmware.md gives the
// words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

void QeiCommand(McuFirmwareState& state, u8 code, u32 word);
u32 QeiQuery(McuFirmwareState& state, u8 code, u32 word);

}  // namespace hx::sim
