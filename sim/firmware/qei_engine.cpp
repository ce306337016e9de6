#include "sim/firmware/qei_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {

using namespace fw;

void QeiCommand(McuFirmwareState& s, u8 code, u32 word) {
    QeiEngineState& q = s.qei;
    switch (code) {
        case kQeiStop: q.stopValue = word; return;
        case kQeiStart: q.startValue = word; return;
        case kQeiChannel: q.channel = word; return;
        case kQeiSetPosition: q.position[q.channel % kQeiChannelsMax] = word; return;
        default: return;
    }
}

u32 QeiQuery(McuFirmwareState& s, u8 code, u32 word) {
    const QeiEngineState& q = s.qei;
    switch (code) {
        case kQeiDirection: return q.direction[word % kQeiChannelsMax];
        case kQeiVelocity: return q.velocity[word % kQeiChannelsMax];
        case kQeiPosition: return q.position[word % kQeiChannelsMax];
        default: return 0;
    }
}

}  // namespace hx::sim
