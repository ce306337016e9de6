// DIO families that reach the lines by registers: the GPIO byte block in port
// space (D1..D6, D9, D11) and memory-mapped pads (D10).
#pragma once

#include "core/platform_ops.h"

namespace hx {

inline constexpr DioOps D1{"D1"};
inline constexpr DioOps D2{"D2"};
inline constexpr DioOps D3{"D3"};
inline constexpr DioOps D4{"D4"};
inline constexpr DioOps D5{"D5"};
inline constexpr DioOps D6{"D6"};
inline constexpr DioOps D9{"D9"};
inline constexpr DioOps D10{"D10"};  // fills only InitDIO and DOWriteLine
inline constexpr DioOps D11{"D11"};

}  // namespace hx
