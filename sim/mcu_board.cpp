#include "sim/mcu_board.h"

#include "sim/board_links.h"

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

u32 PwmOutputCount() {
    LinksLock lock;
    return PwmOutputsOf(TheLinks().mcu);
}

PwmOutputView ReadPwmOutput(u32 output) {
    LinksLock lock;
    return PwmOutputOf(TheLinks().mcu, output);
}

// ---- trigger I/O ----

// ---- encoder ----

// ---- ADC, LED drive, MCU maintenance ----

}  // namespace hx::sim
