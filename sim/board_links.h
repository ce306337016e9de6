// The board's serial links as the platform inventory sees them: the port
// kinds under which a model's MCU and CAN UARTs are found (from how each is
// attached), and the device paths that whoever runs the firmware publishes
// for them.
#pragma once

#include "core/types.h"
#include "os/os.h"
#include "sim/chips/pci_config.h"
#include "sim/firmware/link_state.h"
#include "sim/models.h"

namespace hx::sim {

// The inventory's port kind of a UART: a 16550 by its I/O base, a PCI
// function by its configuration address, a USB converter by product << 16 |
// vendor; 0 when the board has none.
u32 InventoryKind(const UartWiring& uart);

// The UART of `role` on the current board model.
const UartWiring& LinkUart(LinkRole role);
// The MCU's own USB CDC port on the current board model (kNoUart: none).
const UartWiring& McuUsbPort();

// Places the PCI functions of the model's chipset UARTs.
void PlaceLinkUarts(PciConfig& pci, const BoardModel& model);

SerialLinkState& TheLinks();

// Publishes the links of the current model: `mcuPath` under its MCU kind,
// `canPath` under its CAN kind (either may be empty: no such link).
void PublishLinks(const char* mcuPath, const char* canPath);
// The port of `role` vanishes from the inventory.
void WithdrawLink(LinkRole role);
// One of the MCU's two ports is unplugged (present false) or back: while
// absent, discovery does not find it; the other port still reaches the
// firmware. Both are present when the board is set up.
void SetMcuPortPresent(McuPort port, bool present);

// Starts the links on demand (each discovery asks; the starter returns at
// once when they run); installed by the part of the virtual build that owns
// OS resources.
using LinkHostStarter = bool (*)();
void SetLinkHostStarter(LinkHostStarter starter);

// The firmware state may be worked on by a thread of whoever runs the links;
// that part installs its lock here, and the board's other readers and
// writers of the firmware state hold it (none installed: nothing runs).
using LinkLockFn = void (*)();
void SetLinkLock(LinkLockFn lock, LinkLockFn unlock);
class LinksLock {
public:
    LinksLock();
    ~LinksLock();
    LinksLock(const LinksLock&) = delete;
    LinksLock& operator=(const LinksLock&) = delete;
};

// The firmware has put bytes into its outbox (an event): whoever runs the
// links sends them soon. Installed with the lock; callable with it held.
void SetLinkKick(LinkLockFn kick);
void KickLinks();

// InventoryOps::findMcuPort of the virtual board.
bool FindBoardLinkPort(u32 portKind, os::PathChar* path);

}  // namespace hx::sim
