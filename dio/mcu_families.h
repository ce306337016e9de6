// DIO families whose lines belong to the on-board MCU: D7, D8, D12.
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr DioOps D7{"D7"};
inline constexpr DioOps D8{"D8"};
inline constexpr DioOps D12{"D12"};

}  // namespace hx
