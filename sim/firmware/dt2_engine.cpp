#include "sim/firmware/dt2_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {

void Dt2Command(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case fw::kDt2Stop: s.dt2.running = false; return;
        case fw::kDt2Start: s.dt2.running = true; return;
        case fw::kDt2Unit: s.dt2.unit = word; return;
        case fw::kDt2Result:
            s.dt2.lastIndex = static_cast<u8>(word);
            s.dt2.lastResult = static_cast<u8>(word >> 8);
            ++s.dt2.results;
            return;
        default: break;
    }
    if (code >= fw::kDt2SetupFirst && code <= fw::kDt2SetupLast) s.dt2.setup[code - fw::kDt2SetupFirst] = word;
}

}  // namespace hx::sim
