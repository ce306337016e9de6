#include "sim/firmware/led_engine.h"

namespace hx::sim {

void LedCommand(McuFirmwareState& s, u32 word) { s.led.setting = word; }

}  // namespace hx::sim
