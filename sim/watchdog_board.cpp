#include "sim/watchdog_board.h"

#include <cstring>

#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

constexpr u16 kIt8783 = 0x8783;
constexpr u16 kIt8768 = 0x8768;
constexpr u16 kIt8786 = 0x8786;

// Older Intel boards: IT8783 with the ICH TCO timer wired to reset.
constexpr WatchdogHardware kIchBoard{kIt8783, true, WatchdogPads::None};
// Atom SoC boards: IT8768, watchdog output through SoC pads.
constexpr WatchdogHardware kSocBoard{kIt8768, false, WatchdogPads::SocPads};
// Newer Core boards: IT8786, the watchdog alone.
constexpr WatchdogHardware kCoreBoard{kIt8786, false, WatchdogPads::None};
// Newer Core boards whose watchdog output is enabled by a PCH pad.
constexpr WatchdogHardware kPchPadBoard{kIt8786, false, WatchdogPads::PchPad};

struct Row {
    const char* model;
    const WatchdogHardware* hardware;
};

constexpr Row kRows[] = {
    {"Trelo-01", &kIchBoard},  {"Trelo-02", &kIchBoard},     {"Trelo-03+", &kIchBoard},  {"Trelo-03", &kIchBoard},
    {"Trelo-04", &kSocBoard},  {"Trelo-05", &kSocBoard},     {"Trelo-06", &kIchBoard},   {"Trelo-07", &kIchBoard},
    {"Trelo-08", &kIchBoard},  {"Qantis-01", &kIchBoard},    {"Trelo-09", &kIchBoard},   {"Trelo-10", &kIchBoard},
    {"Trelo-11", &kCoreBoard}, {"Trelo-12", &kCoreBoard},    {"Qantis-02", &kCoreBoard}, {"Trelo-13", &kCoreBoard},
    {"Trelo-14", &kCoreBoard}, {"Trelo-15", &kCoreBoard},    {"Trelo-16", &kPchPadBoard}, {"Trelo-17", &kPchPadBoard},
    {"Trelo-18", &kPchPadBoard}, {"Trelo-19", &kPchPadBoard}, {"Ondra-01", &kSocBoard},   {"Vexa-01", &kIchBoard},
    {"Vexa-02", &kIchBoard},   {"Vexa-03", &kSocBoard},      {"Vexa-04", &kSocBoard},    {"Vexa-05", &kSocBoard},
    {"Vexa-06", &kSocBoard},
};
static_assert(sizeof kRows / sizeof kRows[0] == kBoardModelCount, "one row per board model");

// Pad words as the firmware leaves them: the SoC pad (configuration and
// value words) with function 1 selected and its buffers disabled; the PCH
// pad configuration word in GPIO mode with its output low.
constexpr u32 kSocPadConfig = 0xFED0C150;
constexpr u32 kSocPadConfigFirmware = 0x2000CC01;
constexpr u32 kSocPadValue = 0xFED0C158;
constexpr u32 kSocPadValueFirmware = 0x00000006;
constexpr u32 kPchPad = 0xFD6D07C0;
constexpr u32 kPchPadFirmware = 0x44000200;

void PresetPads(Board& board, WatchdogPads pads) {
    if (pads == WatchdogPads::SocPads) {
        board.BusWritePhys(kSocPadConfig, kSocPadConfigFirmware);
        board.BusWritePhys(kSocPadValue, kSocPadValueFirmware);
    } else if (pads == WatchdogPads::PchPad) {
        board.BusWritePhys(kPchPad, kPchPadFirmware);
    }
}

}  // namespace

const WatchdogHardware& WatchdogHardwareOf(const BoardModel& model) {
    for (const Row& r : kRows) {
        if (std::strcmp(r.model, model.name) == 0) return *r.hardware;
    }
    return kCoreBoard;
}

static WatchdogChips& ProcessChips() {
    static WatchdogChips chips{TheBoard(), TheBoardState()};
    return chips;
}

void WatchdogChips::PowerOn(const BoardModel& model) {
    const WatchdogHardware& hw = WatchdogHardwareOf(model);
    superIo_.Install(hw.superIoChipId);
    if (hw.tcoTimer) tco_.Install();
    PresetPads(board_, hw.pads);
}

void WatchdogChips::Attach(const BoardModel& model) {
    const WatchdogHardware& hw = WatchdogHardwareOf(model);
    domain_.Clear();
    board_.AttachPorts(kSioIndexPort, kSioDataPort, &superIo_);
    domain_.Add(&superIo_);
    if (hw.tcoTimer) {
        board_.AttachPorts(kSmiEnFirstPort, kSmiEnLastPort, &tco_);
        board_.AttachPorts(kTcoFirstPort, kTcoLastPort, &tco_);
        board_.AttachPhys(kGcsAddress, kGcsAddress + 3, &tco_);
        domain_.Add(&tco_);
    }
    board_.AttachClock(&domain_);
}

It87& TheSuperIo() { return ProcessChips().SuperIo(); }
IchTco& TheTco() { return ProcessChips().Tco(); }

void WireWatchdogChips(const BoardModel& model) {
    ProcessChips().PowerOn(model);
    ProcessChips().Attach(model);
}

}  // namespace hx::sim
