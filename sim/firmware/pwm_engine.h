// The virtual firmware's PWM generators: posts 90h..9Ch (never answered),
// and the status events (41h) they raise. docs/virtual-firmware.md gives
// the words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A post of the generators' codes.
void PwmPost(McuFirmwareState& state, u8 code, u32 word);

}  // namespace hx::sim
