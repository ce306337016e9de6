// The 29 board models of the virtual board. Each names what its SMBIOS data
// reports; later subsystems add the chips each board carries.
#pragma once

#include <cstddef>

#include "core/types.h"

namespace hx::sim {

struct BoardModel {
    const char* name;           // the catalog's model key
    const char* systemProduct;  // SMBIOS type 1 product name
    const char* boardProduct;   // SMBIOS type 2 product name
};

inline constexpr std::size_t kBoardModelCount = 29;
extern const BoardModel kBoardModels[kBoardModelCount];

// The model used when none is named: one that fills every group of slots.
inline constexpr char kDefaultModel[] = "Trelo-05";

const BoardModel* FindBoardModel(const char* name);

// The watchdog hardware a board carries (sim/watchdog_board.cpp): its IT87
// Super I/O, the chipset TCO timer where it is wired to reset the machine,
// and the SoC/PCH pad words that route the watchdog output.
enum class WatchdogPads : u8 { None, SocPads, PchPad };

struct WatchdogHardware {
    u16 superIoChipId;
    bool tcoTimer;
    WatchdogPads pads;
};

const WatchdogHardware& WatchdogHardwareOf(const BoardModel& model);

}  // namespace hx::sim
