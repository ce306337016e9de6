// Quadrature encoder interface, family Q1: start, stop, setup, direction,
// velocity and position over the MCU command link, each operation under the
// library lock. Values go to and come from the MCU unscaled: channel
// numbering, the setup words and the units of direction, velocity and
// position are the firmware's.
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace qei {

// B1h / B0h with the caller's value (echoed).
Bool32 Start(u32 value);
Bool32 Stop(u32 value);
// The record's words from B9h on, one command each: every word whose first
// byte lies below record + size. Size 0 sends nothing and succeeds.
Bool32 Setup(u32 ignored, void* setup, u32 size);
// B3h, B4h, B5h queries for `channel`; the answer's word is stored only on
// success.
Bool32 GetDirection(u32 channel, u32* direction);
Bool32 GetVelocity(u32 channel, u32* velocity);
Bool32 GetPosition(u32 channel, u32* position);
// B2h selects the channel, B6h sets its position; no B6h when B2h fails.
Bool32 SetPosition(u32 channel, u32 position);

}  // namespace qei

inline constexpr QeiOps Q1{"Q1",
                           &qei::Start,
                           &qei::Stop,
                           &qei::Setup,
                           &qei::GetDirection,
                           &qei::GetVelocity,
                           &qei::GetPosition,
                           &qei::SetPosition};

}  // namespace hx
