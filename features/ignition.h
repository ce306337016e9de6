// Ignition control, families G1, G2 and G3: the ignition state, the battery
// voltage and the ignition settings, read from the MCU. Nothing is written
// to it.
//
// G1 and G3 use the queries F5h..FBh under the library lock; they differ in
// the scale of the battery reading (G1: 33 V over 3723 counts; G3: a 12-bit
// reading of 3.4 V behind an 11:1 divider). G2 sends the older text requests
// (code 3Fh, "IGNS" and "VOLT") and reads their answers itself, without the
// lock, and has no settings.
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace ign {

// F5h with the caller's word as payload; the answer replaces it on success.
Bool32 GetStateQuery(u32* state);
// F6h with payload 0; the unsigned reading in volts.
Bool32 GetBatteryVoltageG1(double* volts);
Bool32 GetBatteryVoltageG3(double* volts);
// F7h..FBh over the record's first five words (size at least 24 bytes);
// words 1..3 divided by 50, word 4 converted to volts. G3 clears `voltage`
// first; a failed range leaves the answers it got.
Bool32 GetSettingG1(IgnSetting* setting, u32 size);
Bool32 GetSettingG3(IgnSetting* setting, u32 size);
// The text requests: state 1 when answer byte 2 is non-zero; the voltage
// from the low 10 bits of the answer word.
Bool32 GetStateText(u32* state);
Bool32 GetBatteryVoltageText(double* volts);

}  // namespace ign

inline constexpr IgnOps G1{"G1", &ign::GetStateQuery, &ign::GetBatteryVoltageG1, &ign::GetSettingG1};
inline constexpr IgnOps G2{"G2", &ign::GetStateText, &ign::GetBatteryVoltageText, nullptr};  // no settings
inline constexpr IgnOps G3{"G3", &ign::GetStateQuery, &ign::GetBatteryVoltageG3, &ign::GetSettingG3};

}  // namespace hx
