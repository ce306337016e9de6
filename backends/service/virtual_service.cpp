// The virtual-board side of the service access: choosing a board model,
// its clock, and what its watchdog chips and reset line show. Every use of
// the virtual board's own names is in this file.
#include <iterator>

#include "backends/service/attach.h"
#include "halvex32_service.h"
#include "sim/virtual_board.h"
#include "sim/watchdog_board.h"

namespace hx::service {
namespace {

// IT87 Super I/O: chip ID in global registers 20h:21h; the watchdog
// configuration register 72h of logical device 7 counts seconds with bit 7.
constexpr u8 kSioChipIdHigh = 0x20;
constexpr u8 kSioChipIdLow = 0x21;
constexpr u8 kSioWdtConfig = 0x72;
constexpr u8 kSioWdtSeconds = 0x80;

// GCS bit 5 NO_REBOOT: a second TCO time-out does not reset the machine. A
// chipset that has the timer always reads its boot straps (bits 10..11) in
// GCS; a board without one reads 0.
constexpr u32 kGcsNoReboot = 1u << 5;

}  // namespace

Load LoadOnVirtualBoard(const char* model) {
    const sim::BoardModel* board = sim::FindBoardModel(model && *model ? model : sim::kDefaultModel);
    if (!board || !sim::SetUpBoard(board->name)) return Load::UnknownModel;
    return AttachTo(sim::VirtualBackend(), board->name);
}

const char* VirtualModel(std::size_t index) {
    return index < std::size(sim::kBoardModels) ? sim::kBoardModels[index].name : nullptr;
}

BoardStatus GetBoardStatus() {
    BoardStatus s{};
    s.nowMs = sim::TheBoard().NowMs();
    const sim::It87& sio = sim::TheSuperIo();
    s.superIoChipId = static_cast<uint16_t>(sio.GlobalRegister(kSioChipIdHigh) << 8 | sio.GlobalRegister(kSioChipIdLow));
    s.superIoCounting = sio.Counting();
    s.superIoSeconds = (sio.GpioRegister(kSioWdtConfig) & kSioWdtSeconds) != 0;
    s.superIoMsLeft = sio.MsLeft();
    const sim::IchTco& tco = sim::TheTco();
    s.tco = tco.Gcs() != 0;
    s.tcoRunning = tco.Running();
    s.tcoTicksLeft = tco.TicksLeft();
    s.tcoNoReboot = (tco.Gcs() & kGcsNoReboot) != 0;
    const auto& reset = sim::TheBoardState().reset;
    s.resets = reset.count;
    s.lastResetAtMs = reset.lastAtMs;
    s.lastResetCause = reset.count ? reset.lastCause : "";
    return s;
}

void AdvanceBoardClock(uint64_t ms) { sim::TheBoard().AdvanceClock(ms); }

}  // namespace hx::service
