// The virtual firmware's DT2 trigger engine: commands 50h..5Ah and 5Fh, and
// the engine's 32 trigger lines. While it runs, a line named by a source of
// the setup fires an indexed event (21h) when the control word asks for
// reports of that source; the application answers each index with a
// result (5Fh). docs/virtual-firmware.md gives the words their meaning.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A command of the engine's codes (stop, start, unit, setup words, result).
void Dt2Command(McuFirmwareState& state, u8 code, u32 word);

// Trigger lines `lines` (line n at bit n) fire once, in line order. Events
// go to the firmware's outbox; returns how many were raised.
u32 Dt2Fire(McuFirmwareState& state, u32 lines);

// Whether index `index` has a result, and which (the last one taken).
bool Dt2ResultOf(const Dt2EngineState& engine, u8 index, u8* result);

}  // namespace hx::sim
