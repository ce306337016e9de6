#include "sim/mcu_board.h"

#include "sim/board_links.h"
#include "sim/chips/mcu_reset_pad.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

constexpr u32 kBatteryAtRestMillivolts = 12000;

}  // namespace

void WireMcuFunctions(const BoardModel& model) {
    LinksLock lock;
    McuFirmwareState& mcu = TheLinks().mcu;
    mcu.functions = model.mcuFunctions ? *model.mcuFunctions : McuFunctionSet{};
    mcu.world = {};
    mcu.world.ignition.keyOn = true;
    mcu.world.ignition.batteryMillivolts = kBatteryAtRestMillivolts;
    WireMcuResetPad(model);
}

McuFirmwareState ReadMcuFirmware() {
    LinksLock lock;
    return TheLinks().mcu;
}

// ---- ignition ----

// ---- PWM ----

// ---- trigger I/O ----

// ---- encoder ----

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

void WireMcuResetPad(const BoardModel& model) {
    const u32 address = model.mcuFunctions ? model.mcuFunctions->resetPad : 0;
    McuResetPad& pad = TheResetPad();
    pad.Wire(address);
    if (!address) return;
    pad.PowerOn();
    pad.Attach(TheBoard());
}

bool PresetMcuResetPad(u32 word) {
    LinksLock lock;
    if (!TheLinks().mcu.functions.resetPad) return false;
    TheResetPad().Set(word);
    return true;
}

}  // namespace hx::sim
