// Output routing hooks: switch the board's outputs between plain DIO and
// trigger I/O by chipset GPIO levels (ports) or by GPIO pads (physical words).
#pragma once

#include "core/platform_ops.h"

namespace hx {

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
