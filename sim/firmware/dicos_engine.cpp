#include "sim/firmware/dicos_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {

void DicosCommand(McuFirmwareState& s, u8 code, u32 word) {
    switch (code) {
        case fw::kDicosStop: s.dicos.running = false; return;
        case fw::kDicosStart: s.dicos.running = true; return;
        case fw::kDicosSetup: s.dicos.setup[0] = word; return;
        case fw::kDicosSetup2: s.dicos.setup[1] = word; return;
        default: return;
    }
}

}  // namespace hx::sim
