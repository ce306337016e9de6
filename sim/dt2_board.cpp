#include "sim/dt2_board.h"

#include "sim/board_links.h"
#include "sim/firmware/dt2_engine.h"
#include "sim/virtual_board.h"

namespace hx::sim {

StatusPads& TheStatusPads() {
    static StatusPads pads{TheBoardState().statusPads};
    return pads;
}

void WireDt2Pads(const BoardModel& model, bool powerOn) {
    StatusPads& pads = TheStatusPads();
    pads.Wire(model.statusPads);
    if (powerOn) pads.PowerOn();
    pads.Attach(TheBoard());
}

u32 FireDt2Lines(u32 lines) {
    u32 raised = 0;
    {
        LinksLock lock;
        raised = Dt2Fire(TheLinks().mcu, lines);
    }
    if (raised) KickLinks();
    return raised;
}

Dt2EngineState ReadDt2Engine() {
    LinksLock lock;
    return TheLinks().mcu.dt2;
}

}  // namespace hx::sim
