// The process's virtual board: one BoardState in static storage, the chips
// wired for the chosen model, and the HwAccess and inventory back-end that
// the virtual build of the library uses. The state sits in a page-aligned
// image behind one page kept for whoever shares it with other processes
// (sim/posix/shared_machine.h maps a shared file over the whole image; every
// chip's reference into the state stays valid).
#pragma once

#include <cstddef>

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
// Wires this process's chips to the board state as `model` carries them;
// with `powerOn` the state is set to power-on first (SetUpBoard), without it
// the state is taken as it is (another process powered the board on).
void BuildBoard(const BoardModel& model, bool powerOn);

// The image that holds the board state: `bytes` long, a whole number of
// pages, the first kImageHeaderBytes of it for the sharing header.
inline constexpr std::size_t kImagePageBytes = 4096;
inline constexpr std::size_t kImageHeaderBytes = kImagePageBytes;
struct BoardImage {
    void* base;
    std::size_t bytes;
};
BoardImage TheBoardImage();

// The SMBIOS identity that SetUpBoard generates for a model.
SmbiosIdentity IdentityFor(const BoardModel& model);

// Replaces what the inventory reports as the SMBIOS source.
void SetSmbiosBlob(const u8* bytes, u32 length, bool isBinary = true);
void RemoveSmbios();

// The inventory reports this OS major version (0 = unknown).
void SetOsMajorVersion(u32 major);

const Backend* VirtualBackend();

}  // namespace hx::sim
