// Watchdog families W1..W4 (IT87 Super I/O watchdog; W1 also arms the
// chipset TCO timer). The slots are filled as the drivers land.
#pragma once

#include "frame/platform_ops.h"

namespace hx {

inline constexpr WdtOps W1{"W1"};
inline constexpr WdtOps W2{"W2"};
inline constexpr WdtOps W3{"W3"};
inline constexpr WdtOps W4{"W4"};

}  // namespace hx
