// Deterministic trigger I/O (DTIO and DTFO), families T1, T2 and T3.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr TriggerOps T1{"T1"};
inline constexpr TriggerOps T2{"T2"};
inline constexpr TriggerOps T3{"T3"};

}  // namespace hx
