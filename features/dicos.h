// DI change of state (DICOS), families C1, C2 and C3: the MCU watches the
// isolated inputs and reports each change as an event.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr DicosOps C1{"C1"};
inline constexpr DicosOps C2{"C2"};
inline constexpr DicosOps C3{"C3"};

}  // namespace hx
