// Watchdog families W1..W4 (IT87 Super I/O watchdog; W1 also arms the
// chipset TCO timer). W4 shares W3's kick.
#pragma once

#include "core/platform_ops.h"
#include "wdt/watchdog.h"

namespace hx {

inline constexpr WdtOps W1{"W1", &wdt::InitWDT, &w1::StartWDT, &w1::StopWDT, &wdt::SetWDT, &w1::ResetWDT};
inline constexpr WdtOps W2{"W2", &wdt::InitWDTNoExit, &w2::StartWDT, &w2::StopWDT, &wdt::SetWDT, &w2::ResetWDT};
inline constexpr WdtOps W3{"W3", &wdt::InitWDT, &w3::StartWDT, &w3::StopWDT, &wdt::SetWDT, &w3::ResetWDT};
inline constexpr WdtOps W4{"W4", &wdt::InitWDT, &w4::StartWDT, &w4::StopWDT, &wdt::SetWDT, &w3::ResetWDT};

}  // namespace hx
