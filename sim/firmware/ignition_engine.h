// The virtual firmware's ignition sense: the key and the battery voltage of
// the board's world, answered as queries F5h..FBh or as the text requests
// of code 3Fh, in the form the board's firmware has. docs/virtual-firmware.md
// gives the readings their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// The result word of query `code` (F5h..FBh; `word` is the request's payload).
u32 IgnitionQuery(McuFirmwareState& state, u8 code, u32 word);

// The answer to a text request (code 3Fh): 7 bytes into `out`, or 0 when
// the request is none the firmware knows.
u32 IgnitionText(McuFirmwareState& state, const u8* request, u8* out);

}  // namespace hx::sim
