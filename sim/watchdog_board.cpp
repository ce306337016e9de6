#include "sim/watchdog_board.h"

#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

// The pad words on the watchdog's reset path as the firmware leaves them.
void PresetPads(Board& board, const ResetWiring& wiring) {
    for (const PadWord& pad : wiring.firmwarePads) {
        if (pad.address) board.BusWritePhys(pad.address, pad.value);
    }
}

}  // namespace

static WatchdogChips& ProcessChips() {
    static WatchdogChips chips{TheBoard(), TheBoardState()};
    return chips;
}

void WatchdogChips::PowerOn(const BoardModel& model) {
    superIo_.Install(model.superIoChipId);
    if (model.tcoResets) tco_.Install();
    PresetPads(board_, *model.watchdogReset);
}

void WatchdogChips::Attach(const BoardModel& model) {
    domain_.Clear();
    superIo_.Wire(model.watchdogReset);
    board_.AttachPorts(kSioIndexPort, kSioDataPort, &superIo_);
    domain_.Add(&superIo_);
    if (model.tcoResets) {
        board_.AttachPorts(kSmiEnFirstPort, kSmiEnLastPort, &tco_);
        board_.AttachPorts(kTcoFirstPort, kTcoLastPort, &tco_);
        board_.AttachPhys(kGcsAddress, kGcsAddress + 3, &tco_);
        domain_.Add(&tco_);
    }
    board_.AttachClock(&domain_);
}

It87& TheSuperIo() { return ProcessChips().SuperIo(); }
IchTco& TheTco() { return ProcessChips().Tco(); }

void WireWatchdogChips(const BoardModel& model, bool powerOn) {
    if (powerOn) ProcessChips().PowerOn(model);
    ProcessChips().Attach(model);
}

}  // namespace hx::sim
