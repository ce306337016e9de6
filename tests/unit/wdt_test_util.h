// Watchdog tests: the access log read back as Super I/O and chipset
// operations, and a fixture that loads a model with fresh watchdog state.
#pragma once

#include <string>

#include "halvex32.h"
#include "sim/watchdog_board.h"
#include "virtual_fixture.h"
#include "wdt_trace.h"
#include "wdt/watchdog.h"

namespace hx::test {

// One model of each watchdog family.
inline constexpr const char* kW1Model = "Trelo-01";
inline constexpr const char* kW2Model = "Trelo-04";
inline constexpr const char* kW3Model = "Trelo-11";
inline constexpr const char* kW4Model = "Trelo-16";

class WdtTest : public VirtualBoardTest {
protected:
    // A fresh process on a fresh board of `model`.
    void LoadModel(const char* model) {
        VirtualBoardTest::LoadModel(model);
        ClearLog();
    }
    static void ClearLog() { sim::ClearAccessLog(sim::TheBoardState()); }
    // What `op` did on the bus, as a trace; the log is cleared first.
    template <typename Op>
    static std::string TraceOf(Op op) {
        ClearLog();
        op();
        return Trace(Log());
    }
    static sim::It87& Sio() { return sim::TheSuperIo(); }
    static sim::IchTco& Tco() { return sim::TheTco(); }
    static u16 SioValue() {
        return static_cast<u16>(Sio().GpioRegister(0x74) << 8 | Sio().GpioRegister(0x73));
    }
    static const sim::ResetState& Resets() { return sim::TheBoardState().reset; }
    static void Advance(u64 ms) { sim::TheBoard().AdvanceClock(ms); }
    static u64 Now() { return sim::TheBoard().NowMs(); }
};

}  // namespace hx::test
