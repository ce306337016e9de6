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
// on, a 12.0 V battery, the ignition controller's factory settings, the shaft
// still, 0 V on every analog input (after the board state has been cleared).
void WireMcuFunctions(const BoardModel& model);

// A copy of the firmware's state, taken under the links' lock.
McuFirmwareState ReadMcuFirmware();

// ---- ignition ----
// The key, the battery voltage and the ignition controller's settings words
// (docs/virtual-firmware.md); false, and nothing changed, when the board's
// MCU senses no ignition.
bool SetIgnitionKey(bool on);
bool SetBatteryMillivolts(u32 millivolts);
bool SetIgnitionSettings(const u32 (&settings)[kIgnitionSettingWords]);

// ---- PWM ----

// ---- trigger I/O ----

// ---- encoder ----

// ---- ADC, LED drive, MCU maintenance ----

}  // namespace hx::sim
