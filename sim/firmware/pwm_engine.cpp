#include "sim/firmware/pwm_engine.h"

#include "sim/firmware/mcu_firmware.h"

namespace hx::sim {

using namespace fw;

void PwmPost(McuFirmwareState& s, u8 code, u32 word) {
    PwmEngineState& p = s.pwm;
    switch (code) {
        case kPwmStop: p.stopMask = word; return;
        case kPwmStart: p.startMask = word; return;
        case kPwmGenerator: p.generator = word; return;
        case kPwmPeriod: p.period[p.generator % kPwmOutputsMax] = word; return;
        case kPwmPulse: p.pulse = word; return;
        case kPwmWidth: p.width[p.pulse % kPwmOutputsMax] = word; return;
        case kPwmInvert: p.invert = word; return;
        case kPwmSyncTimeBase: ++p.syncTimeBase; return;
        case kPwmSyncUpdate: ++p.syncUpdate; return;
        case kPwmClock: p.clock = word; return;
        default: break;
    }
    if (code >= kPwmSetupFirst && code <= kPwmSetupLast) {
        p.genSetup[p.generator % kPwmOutputsMax][code - kPwmSetupFirst] = word;
    }
}

}  // namespace hx::sim
