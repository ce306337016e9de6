// The PoE port maps as the library drives them, for service tools: which
// ports the selected platform's family accepts, and the controller and
// channel behind each port of the platform or of an expansion card.
#pragma once

#include "core/types.h"

namespace hx {

struct PoePortChannel {
    u8 address;  // 7-bit SMBus address of the power-sourcing controller
    u8 channel;
};

// The highest port of the platform's PoE family (ports start at 1); 0 when
// no platform or no PoE family was selected.
u8 PlatformPoeLastPort();
bool PlatformPoeChannel(u8 port, PoePortChannel& out);

u32 CardIndexCount();
u32 CardPortCount();
bool CardPoeChannel(u32 card, u32 port, PoePortChannel& out);

}  // namespace hx
