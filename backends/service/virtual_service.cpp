// The virtual-board side of the service access: choosing a board model,
// its clock, and what its watchdog chips and reset line show. Every use of
// the virtual board's own names is in this file.
#include <iterator>

#include "backends/service/attach.h"
#include "halvex32_service.h"
#include "sim/dio_board.h"
#include "sim/dio_field.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"
#include "sim/watchdog_board.h"

namespace hx::service {

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
    s.superIoChipId = sio.ChipId();
    s.superIoCounting = sio.Counting();
    s.superIoSeconds = sio.CountsSeconds();
    s.superIoMsLeft = sio.MsLeft();
    const sim::IchTco& tco = sim::TheTco();
    s.tco = tco.Present();
    s.tcoRunning = tco.Running();
    s.tcoTicksLeft = tco.TicksLeft();
    s.tcoNoReboot = tco.NoReboot();
    const auto& reset = sim::TheBoardState().reset;
    s.resets = reset.count;
    s.lastResetAtMs = reset.lastAtMs;
    s.lastResetCause = reset.count ? reset.lastCause : "";
    return s;
}

void AdvanceBoardClock(uint64_t ms) { sim::TheBoard().AdvanceClock(ms); }

bool EmitBoardEvent(uint8_t code, uint32_t payload) { return sim::EmitMcuEvent(code, payload); }

DioLines GetBoardDioLines() {
    const sim::FieldLines f = sim::ReadFieldLines();
    return {f.inputCount, f.outputCount, f.inputsActive, f.outputsOn, sim::DioRouteName(sim::BoardDioRoute())};
}

bool SetBoardInput(uint32_t line, bool active) { return sim::DriveFieldInput(line, active); }

}  // namespace hx::service
