#include "sim/mcu_board.h"

#include "sim/board_links.h"
#include "sim/chips/trigger_hold_pad.h"
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
}

McuFirmwareState ReadMcuFirmware() {
    LinksLock lock;
    return TheLinks().mcu;
}

// ---- ignition ----

// ---- PWM ----

// ---- trigger I/O ----

void WireTriggerHoldLine(const BoardModel& model) {
    static TriggerHoldPad pad{TheLinks().mcu};
    const u32 address = model.mcuFunctions ? model.mcuFunctions->holdPad : 0;
    if (address == 0) return;
    LinksLock lock;
    pad.PowerOn();
    pad.Attach(TheBoard(), address);
}

// ---- encoder ----

// ---- ADC, LED drive, MCU maintenance ----

}  // namespace hx::sim
