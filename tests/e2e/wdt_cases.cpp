#include "tests/e2e/wdt_cases.h"

#include "sim/board.h"
#include "sim/models.h"
#include "sim/watchdog_board.h"
#include "tests/unit/wdt_trace.h"

namespace hx::e2e {
namespace {

constexpr u64 kHourMs = 60 * 60 * 1000;

struct FamilyCase {
    const char* model;
    const char* family;
    const char* cycle;  // InitWDT, SetWDT(30 s), StartWDT, ResetWDT, StopWDT
};

// The same sequences as the Linux unit tests, for a 30 s time-out.
const FamilyCase kFamilies[] = {
    {"Trelo-01", "W1",
     "idx87 key w07=07 w02=02 "
     "key w07=07 w72=C0 pin:FED1F410 pout:FED1F410=00000C00 in472 out472=0032 in430 out430=0001 "
     "in460 out460=0032 in468 out468=0000 r27 w27=94 wF8=1F wF9=02 w73=23 w74=00 w02=02 "
     "in460 out460=0032 key w07=07 w73=23 w74=00 w02=02 "
     "in468 out468=0800 key w07=07 w73=00 w74=00 r27 w27=14 w02=02"},
    {"Trelo-04", "W2",
     "idx87 key w07=07 "
     "key w07=07 wF8=1F wF9=02 r2A w2A=23 pin:FED0C150 pout:FED0C150=2000CC00 pin:FED0C158 "
     "pout:FED0C158=00000000 w72=90 w73=23 w74=00 w02=02 "
     "key w07=07 w73=23 w74=00 w02=02 "
     "key w07=07 wF8=00 w73=00 w74=00 w02=02"},
    {"Trelo-11", "W3",
     "idx87 key w07=07 w02=02 "
     "key w07=07 w72=C0 wF8=2A wF9=02 w73=1F w74=00 w02=02 "
     "key w07=07 w73=1F w74=00 w02=02 "
     "key w07=07 w72=00 w73=00 w74=00 wF8=00 w02=02"},
    {"Trelo-16", "W4",
     "idx87 key w07=07 w02=02 "
     "key w07=07 pin:FD6D07C0 pout:FD6D07C0=44000201 w72=90 wF8=2A wF9=02 w23=10 w73=1E w74=00 w02=02 "
     "key w07=07 w73=1F w74=00 w02=02 "
     "key w07=07 w72=80 w73=00 w74=00 wF8=00 pin:FD6D07C0 pout:FD6D07C0=44000200 w02=02"},
};

std::vector<sim::Access> LogOf(const sim::BoardState& state) {
    return {state.log.entries, state.log.entries + state.log.count};
}

// The watchdog part of the trace: from the first InitWDT byte on.
std::string WatchdogTrace(const sim::BoardState& state) {
    const std::string all = test::Trace(LogOf(state));
    const std::size_t at = all.find("idx87");
    return at == std::string::npos ? "" : all.substr(at);
}

// A board of this process over the shared state, with the model's watchdog
// chips powered on (before the library loads) and attached (to run time).
struct HostBoard {
    sim::Board board;
    sim::WatchdogChips chips;
    HostBoard(sim::BoardState& state, const sim::BoardModel& model) : board(state), chips(board, state) {
        chips.Attach(model);
    }
};

void ArmKickStop(const WdtHost& host, const FamilyCase& c) {
    const sim::BoardModel& model = *sim::FindBoardModel(c.model);
    host.expect(host.prepareBoard(c.model), "board and registry prepared");
    HostBoard hb(*host.state, model);
    hb.chips.PowerOn(model);
    host.expect(host.runProbe("cycle") == 0, "every call returns 1:\n" + host.lastOutput());
    const std::string trace = WatchdogTrace(*host.state);
    host.expect(trace.find(c.cycle) == 0, std::string("register sequence of ") + c.family + ":\n  want " + c.cycle +
                                                "\n  got  " + trace);
    host.expect(!host.state->superIo.configMode && host.state->superIo.wdtCounter == 0, "chip stopped, normal mode");
}

void UnloadDisarms(const WdtHost& host, const FamilyCase& c) {
    const sim::BoardModel& model = *sim::FindBoardModel(c.model);
    host.expect(host.prepareBoard(c.model), "board and registry prepared");
    HostBoard hb(*host.state, model);
    hb.chips.PowerOn(model);
    host.expect(host.runProbe("armed-exit") == 0, "arming returns 1:\n" + host.lastOutput());
    host.expect(host.state->superIo.wdtCounter == 0, "the unload stopped the Super I/O watchdog");
    hb.board.AdvanceClock(kHourMs);
    host.expect(host.state->reset.count == 0, std::string("no reset an hour later, got: ") + host.state->reset.lastCause);
}

}  // namespace

void RunWatchdogCases(const WdtHost& host) {
    for (const FamilyCase& c : kFamilies) {
        host.runCase(std::string("watchdog ") + c.family + " on " + c.model + ": arm, kick, stop",
                     [&] { ArmKickStop(host, c); });
        host.runCase(std::string("watchdog ") + c.family + " on " + c.model + ": the unload disarms it",
                     [&] { UnloadDisarms(host, c); });
    }
}

}  // namespace hx::e2e
