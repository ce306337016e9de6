// The virtual firmware's DI change-of-state engine: commands 30h..33h, and
// the events it raises when a watched input changes. What the setup words
// mean is written down in docs/virtual-firmware.md.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// A command of the engine's codes (stop, start, setup, second setup word).
void DicosCommand(McuFirmwareState& state, u8 code, u32 word);

// The setup as the engine reads it on a board whose MCU reports in `form`.
struct DicosWatch {
    u16 lines;     // the watched lines
    u16 oneEdge;   // watched lines that count one kind of edge only:
    u16 toActive;  //   where set the edge to active, else the edge to inactive
};
DicosWatch DecodeDicosSetup(const DicosEngineState& engine, DiEventForm form);

// The inputs went from `before` to `after` (active lines, line n at bit n).
// While the engine runs, one event for the watched lines whose edge counts
// goes into the outbox, in the board's form. True when one was raised.
bool DicosInputsChanged(McuFirmwareState& state, DiEventForm form, u32 before, u32 after);

}  // namespace hx::sim
