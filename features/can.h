// CAN bus, family N1: configuration, start and stop over the MCU command
// link, messages over the CAN data link. The library moves setup words,
// bit-timing words and messages unchanged; the MCU firmware gives them their
// meaning. The port argument of every operation is accepted and ignored (the
// one CAN port is port 0).
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace can {

// Setup words, one command each from 86h; at most four (16 bytes).
Bool32 Setup(u32 port, void* setup, u32 size);
// Starts the controller (81h echoed), then the receive threads of both
// links; a thread that cannot start runs the whole stop before failing.
Bool32 Start(u32 port);
// Stops the controller (80h posted, then 80h echoed) and the receive
// threads; the MCU link's thread keeps running while DI change events do.
Bool32 Stop(u32 port);
// One 16-byte CAN frame on the CAN data link; no lock, no answer.
Bool32 Send(u32 port, CanMessage* message, u32 size);
// Bit-timing words, one query each from 84h (get) or command from 82h (set).
Bool32 BitTimingGet(u32 port, void* timing, u32 size);
Bool32 BitTimingSet(u32 port, void* timing, u32 size);

}  // namespace can

inline constexpr CanOps N1{"N1", &can::Setup, &can::Start, &can::Stop, &can::Send, &can::BitTimingGet,
                           &can::BitTimingSet};

}  // namespace hx
