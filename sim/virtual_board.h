// The process's virtual board: one BoardState in static storage, the chips
// wired for the chosen model, and the HwAccess and inventory back-end that
// the virtual build of the library uses.
#pragma once

#include "core/backend.h"
#include "sim/board.h"
#include "sim/chips/pci_config.h"
#include "sim/models.h"
#include "sim/smbios.h"

namespace hx::sim {

BoardState& TheBoardState();
Board& TheBoard();
PciConfig& ThePci();

// Resets the board to power-on state as model `name` (SMBIOS data, chips,
// clock, log and faults all fresh). False for an unknown model.
bool SetUpBoard(const char* name);

// The SMBIOS identity that SetUpBoard generates for a model.
SmbiosIdentity IdentityFor(const BoardModel& model);

// Replaces what the inventory reports as the SMBIOS source.
void SetSmbiosBlob(const u8* bytes, u32 length, bool isBinary = true);
void RemoveSmbios();

// The inventory reports this OS major version (0 = unknown).
void SetOsMajorVersion(u32 major);

const Backend* VirtualBackend();

}  // namespace hx::sim
