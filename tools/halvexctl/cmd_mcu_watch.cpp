// halvexctl mcu watch: the frames the MCU sends on its own, decoded by kind
// as the library's receive threads deliver them to the registered
// callbacks, until Ctrl-C or the end of --for. On the virtual board --demo
// has the firmware send one event of each kind.
#include <cstdio>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

// Event codes of the MCU's event frames, and what --demo sends.
struct DemoEvent {
    uint8_t code;
    uint32_t payload;
};
constexpr DemoEvent kDemoEvents[] = {
    {0x30, 0x0001FFFE},  // DI change: line 0 active and changed
    {0x41, 0x44332211},  // PWM status of generator 44h
    {0x61, 0x00000001},  // CAN status
    {0x21, 0x00000005},  // DT2 indexed event (models with the DT2 event thread)
};
constexpr Ms kDemoGapMs = 50;
constexpr Ms kPollMs = 100;

struct WatchOptions {
    std::string duration;  // empty: until interrupted
    bool demo = false;
};
WatchOptions g_watch;

// The record is packed: its fields are copied out before anything takes a
// reference to them.
void HX_CALLBACK OnDiChange(DiEventRecord* e) {
    const unsigned inputs = e->inputState, changed = e->eventValue, sequence = e->sequence;
    Emit({{"event", "di_change"}, {"inputs", inputs}, {"changed", changed}, {"sequence", sequence}},
         Format("DI change    inputs %04X  changed %04X  sequence %u\n", inputs, changed, sequence));
}

void HX_CALLBACK OnCanStatus(uint32_t status) {
    Emit({{"event", "can_status"}, {"status", status}}, Format("CAN status   %08X\n", status));
}

void HX_CALLBACK OnDt2Indexed(uint32_t value) {
    Emit({{"event", "dt2_indexed"}, {"payload", value}}, Format("DT2 indexed  %08X\n", value));
}

void Register(bool on) {
    RegisterCallbackDICOS(on ? OnDiChange : nullptr);
    PWM_RegisterStatus(on ? EmitPwmStatus : nullptr);
    CAN_RegisterStatus(0, on ? OnCanStatus : nullptr);
    DT2_EiRegisterIndexed(on ? OnDt2Indexed : nullptr);
}

void SendDemo() {
    for (const DemoEvent& e : kDemoEvents) {
        svc::EmitBoardEvent(e.code, e.payload);
        SleepMs(kDemoGapMs);
    }
}

int StartWatch(const Context& ctx) {
    switch (svc::StartEventWatch()) {
        case svc::Watch::Started:
            return 0;
        case svc::Watch::NoLink:
            return Fail("the MCU link cannot be opened");
        case svc::Watch::NoReceiver:
            break;
    }
    return NoFeature(std::string(ctx.info.model) + " has no MCU event receiver");
}

int RunWatch(Context& ctx) {
    if (const int rc = Require(ctx, ctx.info.mcuLink, "MCU link")) return rc;
    std::optional<Ms> duration;
    if (!g_watch.duration.empty() && !(duration = ParseDuration(g_watch.duration))) {
        return BadUsage("bad --for '" + g_watch.duration + "'");
    }
    if (g_watch.demo && !ctx.virtualBoard) return BadUsage("--demo needs the virtual board");
    Register(true);
    if (const int rc = StartWatch(ctx)) {
        Register(false);
        return rc;
    }
    CatchInterrupt(true);
    NoteWatching("the MCU's events", duration.has_value());
    if (g_watch.demo) SendDemo();
    for (Ms waited = 0; !Interrupted() && (!duration || waited < *duration); waited += kPollMs) SleepMs(kPollMs);
    CatchInterrupt(false);
    svc::StopEventWatch();
    Register(false);
    return 0;
}

}  // namespace

void AddMcuWatchCommand(CLI::App& mcu, Command& command) {
    auto* watch = mcu.add_subcommand("watch", "Print the MCU's event frames as they arrive, until Ctrl-C");
    watch->add_option("--for", g_watch.duration, "stop after this long (500ms, 5s, 1m)");
    watch->add_flag("--demo", g_watch.demo, "virtual board: the firmware sends one event of each kind");
    watch->callback([&command] { command = {RunWatch}; });
}

}  // namespace halvexctl
