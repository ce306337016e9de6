// Output routing hooks: switch the board's outputs between plain DIO and
// trigger I/O by chipset GPIO levels (ports) or by GPIO pads (physical words).
#pragma once

#include "core/platform_ops.h"

namespace hx {

// The output level bit (bit 0) of a GPIO pad word.
inline constexpr u32 kPadLevelBit = 0x1;
// The pad word that gates the outputs of the boards routed by pads: level
// high = outputs gated off.
inline constexpr u32 kPadOutputGate = 0xFED0C578;

void RouteDioByPorts();
void RouteTriggerByPorts();
void RouteDioByPads();
void RouteTriggerByPads();

// "With default" callers: fill an empty hook with its port default, then call.
void CallDioModeHook();
void CallTriggerModeHook();
// "If set" callers: call the hook only when a platform or a default filled it.
void CallDioModeHookIfSet();
void CallTriggerModeHookIfSet();

}  // namespace hx
