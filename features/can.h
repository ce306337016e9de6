// CAN bus, family N1: configuration, start and stop over the MCU command
// link, messages over the CAN data link.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr CanOps N1{"N1"};

}  // namespace hx
