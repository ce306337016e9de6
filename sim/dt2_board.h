// The DT2 side of the virtual board: the status lines on the pads a model's
// row wires, and the trigger lines of the MCU firmware's DT2 engine, for
// tests and tools.
#pragma once

#include "core/types.h"
#include "sim/chips/dt2_pads.h"
#include "sim/firmware/link_state.h"
#include "sim/models.h"

namespace hx::sim {

// Powers on (with `powerOn`) and attaches the status pads `model` carries
// to this process's board (after the board state has been cleared).
void WireDt2Pads(const BoardModel& model, bool powerOn = true);

// The status pads of this process's board.
StatusPads& TheStatusPads();

// Trigger lines `lines` (line n at bit n) of the firmware's DT2 engine fire
// once; returns how many indexed events it raised (the link host sends them).
u32 FireDt2Lines(u32 lines);
// A copy of the engine's state, taken under the links' lock.
Dt2EngineState ReadDt2Engine();

}  // namespace hx::sim
