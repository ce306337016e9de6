// The on-board MCU's side of the virtual board: the functions its firmware
// carries (from the model's row), and the world it senses — the ignition
// key and the battery, the shaft on the encoder inputs, the voltages on the
// analog inputs — with the pads of the lines that reach the MCU from the
// chipset (its reset line, the trigger blocks' hold line). For tests and
// tools; every access takes the links' lock.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"
#include "sim/models.h"

namespace hx::sim {

// Gives the firmware the functions of `model` and a world at rest: the key
// on, a 12.0 V battery, the shaft still, 0 V on every analog input (after the
// board state has been cleared).
void WireMcuFunctions(const BoardModel& model);

// A copy of the firmware's state, taken under the links' lock.
McuFirmwareState ReadMcuFirmware();

// ---- ignition ----

// ---- PWM ----

// ---- trigger I/O ----

// The hold line of the trigger blocks, where the board has one (its pad
// word at the firmware's holdPad), attached to the board and at its
// power-on level (high). Call after WireMcuFunctions.
void WireTriggerHoldLine(const BoardModel& model);

// ---- encoder ----

// ---- ADC, LED drive, MCU maintenance ----

}  // namespace hx::sim
