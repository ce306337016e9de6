// The SMBus and PoE chips of the virtual board as a model's row describes
// them: the chipset's SMBus host (a PCI function, or found through the PM
// registers), the board's power-sourcing controllers, and the PoE
// expansion cards a test plugs into a slot. A port is powered only when the
// controller channel that feeds it delivers power.
#pragma once

#include "sim/board.h"
#include "sim/chips/smbus_host.h"
#include "sim/models.h"

namespace hx::sim {

class PoeChips {
public:
    PoeChips(Board& board, BoardState& state) : host_(state.smbus), board_(board), state_(state) {}

    // Power-on state of the host and the board's controllers, and the host's
    // PCI functions, written into the board state.
    void PowerOn(const BoardModel& model);
    // Attaches the host's ports to the board (state untouched).
    void Attach(const BoardModel& model);

    SmbusHost& Host() { return host_; }

private:
    SmbusHost host_;
    Board& board_;
    BoardState& state_;
};

SmbusHost& TheSmbusHost();

// Powers on (with `powerOn`) and attaches the SMBus chips `model` carries
// to this process's board.
void WirePoeChips(const BoardModel& model, bool powerOn = true);

// A PoE expansion card in a slot below `bridgeBus`: its PCIe switch at
// device 0 of that bus, the network controller `nicId` (device << 16 |
// vendor) at device 0 of the bus behind it, and its power-sourcing
// controller on the SMBus at 7-bit address 21h + 2 x `index` (the card's
// address jumpers, 0..7). False when it does not fit.
inline constexpr u8 kCardIndexes = 8;
inline constexpr u8 kCardPorts = 4;
bool PlaceExpansionCard(BoardState& state, u32 nicId, u8 bridgeBus, u8 index);

// A port as a powered device on it sees it.
struct PoePortView {
    bool exists;
    bool powered;
    u8 controller;  // 7-bit SMBus address
    u8 channel;
};

// Port `port` (from 1) of the board's panel, or of the card at `index`.
PoePortView BoardPoePort(const BoardState& state, u8 port);
PoePortView CardPoePort(const BoardState& state, u8 index, u8 port);

}  // namespace hx::sim
