// The on-board MCU's side of the virtual board: the functions its firmware
// carries (from the model's row), and the world it senses — the ignition
// key and the battery, the shaft on the encoder inputs, the voltages on the
// analog inputs — with the pads of the lines that reach the MCU from the
// chipset (its reset line, the trigger blocks' hold line). For tests and
// tools; every access takes the links' lock.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "sim/firmware/link_state.h"
#include "sim/firmware/pwm_engine.h"
#include "sim/models.h"

namespace hx::sim {

// Gives the firmware the functions of `model` and a world at rest: the key
// on, a 12.0 V battery, the ignition controller's factory settings, the shaft
// still, 0 V on every analog input (after the board state has been
// cleared); attaches the reset and hold pads and the shaft's clock. Without
// `powerOn` only the attachments are made (the state is another process's).
void WireMcuFunctions(const BoardModel& model, bool powerOn = true);

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

// The board's PWM outputs are 0..PwmOutputCount()-1 (0: none).
u32 PwmOutputCount();
// Output n as a meter on its pin sees it.
PwmOutputView ReadPwmOutput(u32 output);

// ---- trigger I/O ----

// The hold line of the trigger blocks, where the board has one (its pad
// word at the firmware's holdPad), attached to the board and at its
// power-on level (high) with `powerOn`; WireMcuFunctions calls it.
void WireTriggerHoldLine(const BoardModel& model, bool powerOn = true);

// ---- encoder ----

// The shaft turns at `rpm` (negative: backwards), within
// +-kShaftRpmLimit; returns the speed set.
std::int32_t SetShaftRpm(std::int32_t rpm);
// The encoder channels count on the board clock: attached to this
// process's board when the MCU's functions are wired.
void AttachEncoderClock();

// ---- ADC, LED drive, MCU maintenance ----

// The voltage at analog input `channel`; false for a channel the board
// does not have.
bool SetAdcInput(u32 channel, u32 millivolts);
// Powers on (with `powerOn`) and attaches the pad of the MCU's reset line
// where `model` wires one; WireMcuFunctions calls it.
void WireMcuResetPad(const BoardModel& model, bool powerOn = true);
// A pad word on the reset line without a pulse; false when the board has none.
bool PresetMcuResetPad(u32 word);

}  // namespace hx::sim
