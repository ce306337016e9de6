// halvexctl pwm: the MCU's PWM generators. "set" sends the clock, the
// generator's period and its output's pulse width (and starts it with
// --start), "start" and "stop" one generator, "watch" prints the status
// events as they arrive. Every command is posted: the MCU sends no answer,
// so success means only that the frames were written. Start and stop send
// a mask with bit CH set; generator CH drives output CH. With --watch a
// command prints the status events that follow it. On the virtual board
// each command ends with what the output's pin shows
// (docs/virtual-firmware.md).
#include <cstdio>
#include <optional>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr unsigned long long kLastChannel = 31;  // start and stop masks are 32 bits
constexpr unsigned long long kModule = 0;        // the clock's module argument is not sent
constexpr Ms kPollMs = 100;

struct PwmArgs {
    std::string channel;
    std::string period;
    std::string width;
    std::string clock;
    bool start = false;
    std::string watch;  // empty: no events are printed
};
PwmArgs g_args;

int RequirePwm(const Context& ctx) { return RequireGroup(ctx, svc::kPwm, "PWM generators"); }

bool ParseOptional(const std::string& text, std::optional<uint32_t>* value) {
    uint32_t v = 0;
    if (text.empty()) return true;
    if (!ParseNumber(text, UINT32_MAX, &v)) return false;
    *value = v;
    return true;
}

int Posted(bool ok, const char* what) { return ok ? 0 : Fail(std::string(what) + " failed: the frames were not written"); }

// "output PWM1  running  period 4000  width 1000  duty 25.0%  250.00 Hz".
void PrintOutput(const Context& ctx, uint32_t channel) {
    if (!ctx.virtualBoard) return;
    const svc::BoardPwmOutput o = svc::GetBoardPwmOutput(channel);
    if (!o.exists) {
        Emit({{"output", channel}, {"on_board", false}}, Format("output PWM%u  not on this board\n", channel));
        return;
    }
    Emit({{"output", channel}, {"on_board", true}, {"running", o.running}, {"period", o.period}, {"width", o.width},
          {"duty_percent", o.dutyPercent}, {"frequency_hz", o.frequencyHz}, {"inverted", o.inverted}},
         Format("output PWM%u  %s  period %u  width %u  duty %.1f%%  %.2f Hz%s\n", channel,
                o.running ? "running" : "stopped", o.period, o.width, o.dutyPercent, o.frequencyHz,
                o.inverted ? "  inverted" : ""));
}

// The receive thread runs and passes the status events to OnStatus.
int StartStatusWatch(const Context& ctx) {
    PWM_RegisterStatus(EmitPwmStatus);
    if (svc::StartEventWatch() == svc::Watch::Started) return 0;
    PWM_RegisterStatus(nullptr);
    return Fail("the MCU link of " + std::string(ctx.info.model) + " cannot be opened, or it has no event receiver");
}

void StopStatusWatch() {
    svc::StopEventWatch();
    PWM_RegisterStatus(nullptr);
}

// With --watch: the status events from before the first frame until the
// time given after the last.
int BeginWatch(const Context& ctx, std::optional<Ms>* duration) {
    if (g_args.watch.empty()) return 0;
    if (!(*duration = ParseDuration(g_args.watch))) return BadUsage("bad --watch '" + g_args.watch + "'");
    return StartStatusWatch(ctx);
}

void EndWatch(std::optional<Ms> duration) {
    if (!duration) return;
    CatchInterrupt(true);
    SleepMs(*duration);
    CatchInterrupt(false);
    StopStatusWatch();
}

// Runs `post` on channel CH between the watch's start and end.
template <typename Post>
int Run(Context& ctx, Post post) {
    if (const int rc = RequirePwm(ctx)) return rc;
    uint32_t channel = 0;
    if (!ParseNumber(g_args.channel, kLastChannel, &channel)) return BadUsage("bad channel '" + g_args.channel + "': 0..31");
    std::optional<Ms> duration;
    if (const int rc = BeginWatch(ctx, &duration)) return rc;
    const int rc = post(channel);
    EndWatch(duration);
    if (rc == 0) PrintOutput(ctx, channel);
    return rc;
}

int PostSetting(uint32_t channel) {
    std::optional<uint32_t> period, width, clock;
    if (!ParseOptional(g_args.period, &period) || !ParseOptional(g_args.width, &width) ||
        !ParseOptional(g_args.clock, &clock)) {
        return BadUsage("--period, --width and --clock take a 32-bit number");
    }
    if (!period && !width && !clock && !g_args.start) return BadUsage("usage: pwm set CH [--period P] [--width W] [--clock HZ] [--start]");
    if (clock && PWM_ClockSet(kModule, *clock) == 0) return Posted(false, "PWM_ClockSet");
    if (period && PWM_GenPeriod(channel, *period) == 0) return Posted(false, "PWM_GenPeriod");
    if (width && PWM_PulseWidth(channel, *width) == 0) return Posted(false, "PWM_PulseWidth");
    return g_args.start ? Posted(PWM_Start(1u << channel), "PWM_Start") : 0;
}

int RunSet(Context& ctx) { return Run(ctx, PostSetting); }
int RunStart(Context& ctx) {
    return Run(ctx, [](uint32_t channel) { return Posted(PWM_Start(1u << channel), "PWM_Start"); });
}
int RunStop(Context& ctx) {
    return Run(ctx, [](uint32_t channel) { return Posted(PWM_Stop(1u << channel), "PWM_Stop"); });
}

int RunWatch(Context& ctx) {
    if (const int rc = RequirePwm(ctx)) return rc;
    std::optional<Ms> duration;
    if (!g_args.watch.empty() && !(duration = ParseDuration(g_args.watch))) return BadUsage("bad --for '" + g_args.watch + "'");
    if (const int rc = StartStatusWatch(ctx)) return rc;
    CatchInterrupt(true);
    NoteWatching("PWM status events", duration.has_value());
    for (Ms waited = 0; !Interrupted() && (!duration || waited < *duration); waited += kPollMs) SleepMs(kPollMs);
    CatchInterrupt(false);
    StopStatusWatch();
    return 0;
}

CLI::App* AddChannelCommand(CLI::App& pwm, Command& command, const char* name, const char* help, int (*run)(Context&)) {
    auto* sub = pwm.add_subcommand(name, help);
    sub->add_option("CH", g_args.channel, "generator and its output (0..31)")->required();
    sub->add_option("--watch", g_args.watch, "print the status events until this long after (500ms, 5s)");
    sub->callback([&command, run] { command = {run}; });
    return sub;
}

}  // namespace

void HX_CALLBACK EmitPwmStatus(uint32_t generator, uint32_t status) {
    Emit({{"event", "pwm_status"}, {"generator", generator}, {"status", status}},
         Format("PWM status   generator %02X  status %06X\n", generator, status));
}

void AddPwmCommand(CLI::App& app, Command& command) {
    auto* pwm = app.add_subcommand("pwm", "PWM generators");
    pwm->require_subcommand(1);
    auto* set = AddChannelCommand(*pwm, command, "set", "Set a generator's period and its output's pulse width", RunSet);
    set->add_option("--period", g_args.period, "period in clock ticks");
    set->add_option("--width", g_args.width, "pulse width in clock ticks");
    set->add_option("--clock", g_args.clock, "the generators' clock in Hz (all generators)");
    set->add_flag("--start", g_args.start, "start the generator afterwards");
    AddChannelCommand(*pwm, command, "start", "Start a generator", RunStart);
    AddChannelCommand(*pwm, command, "stop", "Stop a generator", RunStop);
    auto* watch = pwm->add_subcommand("watch", "Print the status events as they arrive, until Ctrl-C");
    watch->add_option("--for", g_args.watch, "stop after this long (500ms, 5s, 1m)");
    watch->callback([&command] { command = {RunWatch}; });
}

}  // namespace halvexctl
