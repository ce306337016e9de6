#include "sim/mcu_board.h"

#include <algorithm>
#include <iterator>

#include "sim/board_links.h"
#include "sim/firmware/ignition_engine.h"

namespace hx::sim {

void WireMcuFunctions(const BoardModel& model) {
    LinksLock lock;
    McuFirmwareState& mcu = TheLinks().mcu;
    mcu.functions = model.mcuFunctions ? *model.mcuFunctions : McuFunctionSet{};
    mcu.world = {};
    mcu.world.ignition = IgnitionAtRest(mcu.functions.ignition);
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

// ---- trigger I/O ----

// ---- encoder ----

// ---- ADC, LED drive, MCU maintenance ----

}  // namespace hx::sim
