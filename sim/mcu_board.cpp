#include "sim/mcu_board.h"

#include <algorithm>
#include <iterator>

#include "sim/board_links.h"
#include "sim/chips/mcu_reset_pad.h"
#include "sim/chips/trigger_hold_pad.h"
#include "sim/firmware/ignition_engine.h"
#include "sim/firmware/qei_engine.h"
#include "sim/virtual_board.h"

namespace hx::sim {

void WireMcuFunctions(const BoardModel& model, bool powerOn) {
    if (powerOn) {
        LinksLock lock;
        McuFirmwareState& mcu = TheLinks().mcu;
        mcu.functions = model.mcuFunctions ? *model.mcuFunctions : McuFunctionSet{};
        mcu.world = {};
        mcu.world.ignition = IgnitionAtRest(mcu.functions.ignition);
    }
    // The lines from the chipset to the MCU, and the shaft's clock (each
    // takes the links' lock itself).
    AttachEncoderClock();
    WireMcuResetPad(model, powerOn);
    WireTriggerHoldLine(model, powerOn);
}

McuFirmwareState ReadMcuFirmware() {
    LinksLock lock;
    return TheLinks().mcu;
}

// ---- ignition ----

namespace {

// Changes the ignition world of a board whose MCU senses it.
template <typename Fn>
bool EditIgnitionWorld(Fn&& fn) {
    LinksLock lock;
    McuFirmwareState& mcu = TheLinks().mcu;
    if (mcu.functions.ignition == IgnitionSense::None) return false;
    fn(mcu.world.ignition);
    return true;
}

}  // namespace

bool SetIgnitionKey(bool on) {
    return EditIgnitionWorld([&](IgnitionWorld& w) { w.keyOn = on; });
}

bool SetBatteryMillivolts(u32 millivolts) {
    return EditIgnitionWorld([&](IgnitionWorld& w) { w.batteryMillivolts = millivolts; });
}

bool SetIgnitionSettings(const u32 (&settings)[kIgnitionSettingWords]) {
    return EditIgnitionWorld([&](IgnitionWorld& w) { std::copy(std::begin(settings), std::end(settings), w.settings); });
}

// ---- PWM ----

u32 PwmOutputCount() {
    LinksLock lock;
    return PwmOutputsOf(TheLinks().mcu);
}

PwmOutputView ReadPwmOutput(u32 output) {
    LinksLock lock;
    return PwmOutputOf(TheLinks().mcu, output);
}

// ---- trigger I/O ----

void WireTriggerHoldLine(const BoardModel& model, bool powerOn) {
    static TriggerHoldPad pad{TheLinks().mcu};
    const u32 address = model.mcuFunctions ? model.mcuFunctions->holdPad : 0;
    if (address == 0) return;
    LinksLock lock;
    if (powerOn) pad.PowerOn();
    pad.Attach(TheBoard(), address);
}

// ---- encoder ----

namespace {

// The shaft turns with the board clock; the firmware's running channels
// count what it turned.
class EncoderClock final : public ClockedDevice {
public:
    void Advance(u64 fromMs, u64 toMs) override {
        LinksLock lock;
        QeiAdvance(TheLinks().mcu, toMs - fromMs);
    }
};

}  // namespace

std::int32_t SetShaftRpm(std::int32_t rpm) {
    const std::int32_t set = std::clamp(rpm, -kShaftRpmLimit, kShaftRpmLimit);
    LinksLock lock;
    TheLinks().mcu.world.shaft.rpm = set;
    return set;
}

void AttachEncoderClock() {
    static EncoderClock clock;
    TheBoard().AttachClock(&clock);
}

// ---- ADC, LED drive, MCU maintenance ----

namespace {

McuResetPad& TheResetPad() {
    static McuResetPad pad{TheLinks().mcu};
    return pad;
}

}  // namespace

bool SetAdcInput(u32 channel, u32 millivolts) {
    LinksLock lock;
    McuFirmwareState& mcu = TheLinks().mcu;
    if (channel >= mcu.functions.adcChannels || channel >= kAdcChannelsMax) return false;
    mcu.world.adc.millivolts[channel] = millivolts;
    return true;
}

void WireMcuResetPad(const BoardModel& model, bool powerOn) {
    const u32 address = model.mcuFunctions ? model.mcuFunctions->resetPad : 0;
    McuResetPad& pad = TheResetPad();
    pad.Wire(address);
    if (!address) return;
    LinksLock lock;
    if (powerOn) pad.PowerOn();
    pad.Attach(TheBoard());
}

bool PresetMcuResetPad(u32 word) {
    LinksLock lock;
    if (!TheLinks().mcu.functions.resetPad) return false;
    TheResetPad().Set(word);
    return true;
}

}  // namespace hx::sim
