// The board's serial links as the platform inventory sees them: the port
// kinds under which a model's MCU and CAN links are found, and the device
// paths that whoever runs the firmware publishes for them.
#pragma once

#include "core/types.h"
#include "os/os.h"
#include "sim/firmware/link_state.h"

namespace hx::sim {

struct LinkKinds {
    u32 mcu;  // 0: the model has no such link
    u32 can;
};

// The kinds a model's platform init gives its links (the MCU link at the
// UART at 2E8h when the init leaves it unset).
LinkKinds LinkKindsForModel(const char* model);

SerialLinkState& TheLinks();

// Publishes the links of the current model: `mcuPath` under its MCU kind,
// `canPath` (may be empty) under its CAN kind.
void PublishLinks(const char* mcuPath, const char* canPath);
// The port of `role` vanishes from the inventory.
void WithdrawLink(LinkRole role);

// Starts the links on demand (the first discovery after the board was set
// up); installed by the part of the virtual build that owns OS resources.
using LinkHostStarter = bool (*)();
void SetLinkHostStarter(LinkHostStarter starter);

// InventoryOps::findMcuPort of the virtual board.
bool FindBoardLinkPort(u32 portKind, os::PathChar* path);

}  // namespace hx::sim
