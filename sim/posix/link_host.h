// Runs the board's MCU firmware and CAN controller on pseudo-terminals, in a
// thread of their own, so that the library's real serial code talks to them
// through real device files. The faults of the simulated transport are
// applied here, between the firmware and the line.
#pragma once

#include "core/types.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

// Creates the links of the current board model, publishes their device
// paths to the inventory and starts the host thread. Also called on demand
// by the first port discovery after the board was set up.
bool StartBoardLinks();
void StopBoardLinks();

// The firmware, controller and fault state may be read and changed by other
// threads only while the links are locked.
void LockLinks();
void UnlockLinks();
SerialLinkState& TheLinksUnlocked();
template <typename Fn>
void EditLinks(Fn&& fn) {
    LockLinks();
    fn(TheLinksUnlocked());
    UnlockLinks();
}

// Sends bytes on a link as they are (noise, crafted or stale frames).
bool SendLinkBytes(LinkRole role, const u8* bytes, u32 count);
// An unsolicited event frame (lead 40h) and a 3-byte DI message.
bool EmitMcuEvent(u8 code, u32 payload);
bool EmitShortDiMessage(u8 value);
// A CAN frame for the library as it is, queued behind the controller's
// frames (no bus rules: the controller need not be started).
bool SendCanMessage(const CanWireMessage& message);

// The port vanishes: the pseudo-terminal is closed and withdrawn from the
// inventory; an open handle of it fails every read and write.
void TakeLinkAway(LinkRole role);
// The port is plugged back in: a new pseudo-terminal (a new device path, as
// a replugged USB converter gets) on the same firmware, published for the
// next discovery. False when the link is not away or the board has none.
bool PlugLinkBack(LinkRole role);

// Device path of a link ("" when it has none).
const char* LinkPath(LinkRole role);

}  // namespace hx::sim
