// MCU link cases of the Wine stage: the registry port search on registry data
// imported into the prefix, and the overlapped transport on a COM port that
// the prefix maps to a pseudo-terminal where the virtual MCU firmware runs.
#pragma once

#include <functional>
#include <string>

#include "sim/board_state.h"

namespace hx::e2e {

struct McuHost {
    std::string prefix;                                         // the Wine prefix
    std::function<sim::BoardState*()> freshBoard;               // the simulated WinIo's board, reset
    std::function<bool(const std::string& body)> importReg;     // a REGEDIT4 body
    std::function<int(const std::string& arguments)> runProbe;  // hx_e2e_mcu.exe ARGS under Wine
    std::function<const std::string&()> lastOutput;
    std::function<void(bool ok, const std::string& what)> expect;
    std::function<void(const std::string& name, const std::function<void()>& body)> runCase;
};

void RunMcuCases(const McuHost& host);

}  // namespace hx::e2e
