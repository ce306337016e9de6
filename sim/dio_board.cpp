#include "sim/dio_board.h"

#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

DioChips& ProcessChips() {
    static DioChips chips{TheBoard(), TheBoardState()};
    return chips;
}

const DioWiring* BoardWiring() {
    const BoardModel* model = FindBoardModel(TheBoardState().model);
    return model ? model->dio : nullptr;
}

u32 SiteValue(DioSite site, u32 address) {
    if (site == DioSite::Phys) return TheBoard().BusReadPhys(address);
    return ProcessChips().Level(static_cast<u16>(address));
}

u32 LaneMask(const DioLane& lane) { return (u32{1} << lane.count) - 1u; }

}  // namespace

void DioChips::PowerOn(const BoardModel& model) {
    // The ICH (the chipset whose TCO timer the row wires) carries the GPIO registers.
    if (model.tcoResets) ich_.Install();
    for (const PadWord& pad : model.dio->firmwarePads) {
        if (pad.address) board_.BusWritePhys(pad.address, pad.value);
    }
}

void DioChips::Attach(const BoardModel& model) {
    block_.Wire(model.dio->attach == DioAttach::GpioBlock ? model.dio : nullptr);
    pair_.Wire(model.dio->attach == DioAttach::GpioPair ? model.dio : nullptr);
    board_.AttachPorts(block_.FirstPort(), block_.LastPort(), &block_);
    board_.AttachPorts(pair_.FirstPort(), pair_.LastPort(), &pair_);
    if (model.tcoResets) {
        board_.AttachPorts(kIchGpioFirstPort, kIchGpioFirstPort + kIchGpioRegs - 1, &ich_);
    }
}

u8 DioChips::Level(u16 port) const {
    if (port >= block_.FirstPort() && port <= block_.LastPort()) return block_.Driven(port);
    if (port >= pair_.FirstPort() && port <= pair_.LastPort()) return pair_.Driven(port);
    return board_.State().dioField.ichGpio.present ? ich_.Register(port) : 0xFF;
}

void WireDioChips(const BoardModel& model, bool powerOn) {
    if (powerOn) ProcessChips().PowerOn(model);
    ProcessChips().Attach(model);
}

bool DioGatesHold(const DioGateSet& set) {
    for (const DioGate& g : set.gates) {
        if (g.site != DioSite::None && (SiteValue(g.site, g.address) & g.mask) != g.want) return false;
    }
    return true;
}

u32 DioDrivenOutputs(const DioWiring& wiring) {
    u32 lines = 0;
    for (const DioLane& lane : wiring.outputLanes) {
        if (lane.site == DioSite::None) continue;
        lines |= ((SiteValue(lane.site, lane.address) >> lane.shift) & LaneMask(lane)) << lane.firstLine;
    }
    return lines;
}

DioRoute BoardDioRoute() {
    const DioWiring* wiring = BoardWiring();
    if (!wiring || !wiring->routing) return DioRoute::kNone;
    if (DioGatesHold(wiring->routing->dio)) return DioRoute::kDio;
    if (DioGatesHold(wiring->routing->trigger)) return DioRoute::kTrigger;
    return DioRoute::kOff;
}

const char* DioRouteName(DioRoute route) {
    switch (route) {
        case DioRoute::kOff: return "off";
        case DioRoute::kDio: return "DIO routed";
        case DioRoute::kTrigger: return "trigger routed";
        case DioRoute::kNone: break;
    }
    return "none";
}

void SetOutputReadBackLag(u32 reads) { TheBoardState().dioField.lagReads = reads; }

bool SetStuckOutput(u32 line, bool on) {
    const DioWiring* wiring = BoardWiring();
    if (!wiring || line >= wiring->outputs) return false;
    DioFieldState& field = TheBoardState().dioField;
    const u32 bit = u32{1} << line;
    field.stuckLines |= bit;
    field.stuckLevels = on ? field.stuckLevels | bit : field.stuckLevels & ~bit;
    return true;
}

void ClearStuckOutputs() { TheBoardState().dioField.stuckLines = 0; }

}  // namespace hx::sim
