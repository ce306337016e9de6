// Watchdog cases of the Wine stage: one model of each family arms, kicks and
// stops through Halvex32.dll and the simulated WinIo, and an armed watchdog
// is disarmed when the process ends. The host driver provides the board file
// and the way to run the Windows program.
#pragma once

#include <functional>
#include <string>

#include "sim/board_state.h"

namespace hx::e2e {

struct WdtHost {
    sim::BoardState* state;                                    // the shared board file's state
    std::function<bool(const char* model)> prepareBoard;       // fresh board + the model's SMBIOS
    std::function<int(const std::string& arguments)> runProbe;  // hx_e2e_wdt.exe ARGS under Wine
    std::function<const std::string&()> lastOutput;
    std::function<void(bool ok, const std::string& what)> expect;
    std::function<void(const std::string& name, const std::function<void()>& body)> runCase;
};

void RunWatchdogCases(const WdtHost& host);

}  // namespace hx::e2e
