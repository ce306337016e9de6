// halvexctl wdt: arm, kick and stop the watchdog within this one process
// (the library disarms a watchdog when the process that armed it unloads).
//   keepalive --timeout 30s|5m --interval 5s [--for 10m]
//   expire --timeout 10s [--yes]
//   status
// On the virtual board time is board time: keepalive and expire advance the
// board clock instead of waiting, except that an open-ended keepalive also
// paces itself in real time so it can be watched and interrupted.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;
constexpr unsigned kMaxCount = 65535;
constexpr Ms kExpireStepMs = kMsPerSecond;
constexpr Ms kExpireSlackMs = 10 * kMsPerMinute;

struct WdtOptions {
    std::string timeout = "30s";
    std::string interval = "5s";
    std::string duration;  // empty: until interrupted
    bool yes = false;
};
WdtOptions g_options;

// A watchdog time-out as the library takes it: count and unit.
struct Timeout {
    unsigned count;
    unsigned unit;  // 0 minutes, 1 seconds
    Ms ms() const { return count * (unit ? kMsPerSecond : kMsPerMinute); }
};

// "30", "30s", "5m", "1h" (hours become minutes).
std::optional<Timeout> ParseTimeout(const std::string& text) {
    std::size_t used = 0;
    unsigned long n = 0;
    try {
        n = std::stoul(text, &used);
    } catch (...) {
        return std::nullopt;
    }
    const std::string suffix = text.substr(used);
    Timeout t{};
    if (suffix.empty() || suffix == "s") {
        t = {static_cast<unsigned>(n), 1};
    } else if (suffix == "m" || suffix == "min") {
        t = {static_cast<unsigned>(n), 0};
    } else if (suffix == "h") {
        t = {static_cast<unsigned>(n * 60), 0};
    } else {
        return std::nullopt;
    }
    if (n > kMaxCount || t.count > kMaxCount) return std::nullopt;
    return t;
}

double InSeconds(Ms ms) { return static_cast<double>(ms) / kMsPerSecond; }

std::string Seconds(Ms ms) { return Format("%.1f s", InSeconds(ms)); }

std::string Describe(const Timeout& t) {
    return std::to_string(t.count) + (t.unit ? " s" : " min");
}

const char* Family(const Context& ctx) { return ctx.info.groups[svc::kWdt].family; }

// The library is loaded on a model that has a watchdog.
int CheckWatchdog(const Context& ctx) { return RequireGroup(ctx, svc::kWdt, "watchdog support"); }

uint32_t BoardResets() { return svc::GetBoardStatus().resets; }

// The first event of keepalive and expire; `text` ends the line.
void EmitArmed(const Context& ctx, const Timeout& t, Json facts, const std::string& text) {
    Json armed = {{"event", "armed"}, {"family", Family(ctx)}, {"timeout_seconds", InSeconds(t.ms())}};
    armed.update(facts);
    Emit(armed, Format("watchdog %s armed: %s", Family(ctx), Describe(t).c_str()) + text + "\n");
}

void EmitEvent(const char* event, const std::string& text) { Emit({{"event", event}}, text + "\n"); }

void AddLastReset(const svc::BoardStatus& s, Report& r) {
    if (!s.resets) {
        r.Line("last reset:    none\n");
        r["last_reset"] = nullptr;
        return;
    }
    r.Line("last reset:    at %s: %s (%u since power-on)\n", Seconds(s.lastResetAtMs).c_str(), s.lastResetCause,
           s.resets);
    r["last_reset"] = {{"at_seconds", InSeconds(s.lastResetAtMs)}, {"cause", s.lastResetCause}, {"resets", s.resets}};
}

int Arm(const Timeout& t) {
    InitWDT();  // once per lifetime of the shared words; W2 needs it to start
    if (!SetWDT(static_cast<uint16_t>(t.count), static_cast<uint8_t>(t.unit))) return Fail("SetWDT refused the time-out");
    if (!StartWDT()) return Fail("StartWDT failed");
    return 0;
}

int RunKeepalive(Context& ctx) {
    if (const int rc = CheckWatchdog(ctx)) return rc;
    const auto timeout = ParseTimeout(g_options.timeout);
    const auto interval = ParseDuration(g_options.interval);
    std::optional<Ms> duration;
    if (!g_options.duration.empty()) duration = ParseDuration(g_options.duration);
    if (!timeout) return BadUsage("bad --timeout '" + g_options.timeout + "' (use 30s or 5m)");
    if (!interval || *interval == 0) return BadUsage("bad --interval '" + g_options.interval + "'");
    if (!g_options.duration.empty() && !duration) return BadUsage("bad --for '" + g_options.duration + "'");
    // Board time can run ahead only when the run has an end.
    const bool boardTime = ctx.virtualBoard && duration.has_value();
    if (const int rc = Arm(*timeout)) return rc;
    EmitArmed(ctx, *timeout,
              {{"interval_seconds", InSeconds(*interval)}, {"for_seconds", duration ? Json(InSeconds(*duration)) : Json()}},
              ", kicking every " + Seconds(*interval) + (duration ? ", for " + Seconds(*duration) : " until interrupted"));
    CatchInterrupt(true);
    const uint32_t resetsBefore = ctx.virtualBoard ? BoardResets() : 0;
    Ms elapsed = 0;
    unsigned kicks = 0;
    int rc = 0;
    while (!Interrupted() && (!duration || elapsed < *duration)) {
        const Ms step = duration ? std::min(*interval, *duration - elapsed) : *interval;
        if (!boardTime) SleepMs(step);
        if (Interrupted()) break;
        if (ctx.virtualBoard && (boardTime || !svc::BoardClockFollowsRealTime())) svc::AdvanceBoardClock(step);
        elapsed += step;
        if (ctx.virtualBoard && BoardResets() != resetsBefore) {
            const svc::BoardStatus s = svc::GetBoardStatus();
            Emit({{"event", "reset"}, {"at_seconds", InSeconds(s.lastResetAtMs)}, {"cause", s.lastResetCause}},
                 "machine reset at " + Seconds(s.lastResetAtMs) + " of board time: " + s.lastResetCause + "\n");
            rc = kExitFailed;
            break;
        }
        ResetWDT();
        ++kicks;
    }
    StopWDT();
    CatchInterrupt(false);
    Emit({{"event", "stopped"}, {"kicks", kicks}, {"seconds", InSeconds(elapsed)}, {"reset", rc != 0}},
         Format("watchdog stopped after %u kicks over %s%s\n", kicks, Seconds(elapsed).c_str(), rc ? "" : "; no reset"));
    return rc;
}

int ExpireVirtual(const Timeout& t) {
    const svc::BoardStatus before = svc::GetBoardStatus();
    const Ms limit = 2 * t.ms() + kExpireSlackMs;
    for (Ms waited = 0; waited < limit && BoardResets() == before.resets; waited += kExpireStepMs) {
        svc::AdvanceBoardClock(kExpireStepMs);
    }
    const svc::BoardStatus after = svc::GetBoardStatus();
    if (after.resets == before.resets) {
        Emit({{"event", "no_reset"}, {"seconds", InSeconds(limit)}}, "no reset within " + Seconds(limit) + " of board time\n");
        return kExitFailed;
    }
    const Ms took = after.lastResetAtMs - before.nowMs;
    Emit({{"event", "reset"}, {"after_seconds", InSeconds(took)}, {"cause", after.lastResetCause}},
         "machine reset after " + Seconds(took) + " of board time: " + after.lastResetCause + "\n");
    return kExitOk;
}

int ExpireReal(const Timeout& t) {
    EmitEvent("not_kicking", "not kicking: this machine resets in about " + Describe(t));
    CatchInterrupt(true);
    SleepMs(2 * t.ms() + kExpireSlackMs);
    CatchInterrupt(false);
    if (Interrupted()) {
        EmitEvent("interrupted", "interrupted: the watchdog is stopped");
        return kExitFailed;
    }
    EmitEvent("no_reset", "still running: the watchdog did not reset the machine");
    return kExitFailed;
}

int RunExpire(Context& ctx) {
    if (!ctx.virtualBoard && !g_options.yes) {
        return BadUsage("expire resets this machine when the watchdog works; add --yes to go ahead");
    }
    if (const int rc = CheckWatchdog(ctx)) return rc;
    const auto timeout = ParseTimeout(g_options.timeout);
    if (!timeout) return BadUsage("bad --timeout '" + g_options.timeout + "' (use 10s or 5m)");
    if (const int rc = Arm(*timeout)) return rc;
    EmitArmed(ctx, *timeout, Json::object(), "");
    return ctx.virtualBoard ? ExpireVirtual(*timeout) : ExpireReal(*timeout);
}

void StatusVirtual(Report& r) {
    const svc::BoardStatus s = svc::GetBoardStatus();
    r.Line("board time:    %s\n", Seconds(s.nowMs).c_str());
    r.Line("Super I/O:     IT%04X, watchdog ", s.superIoChipId);
    r["board_seconds"] = InSeconds(s.nowMs);
    Json& sio = r["super_io"] = {{"chip_id", s.superIoChipId}, {"counting", s.superIoCounting}};
    if (s.superIoCounting) {
        const char* unit = s.superIoSeconds ? "seconds" : "minutes";
        r.Line("counting in %s, %s left\n", unit, Seconds(s.superIoMsLeft).c_str());
        sio["unit"] = unit;
        sio["seconds_left"] = InSeconds(s.superIoMsLeft);
    } else {
        r.Line("stopped\n");
    }
    if (s.tco) {
        r.Line("TCO timer:     %s, %u ticks of 0.6 s left, NO_REBOOT %s\n", s.tcoRunning ? "running" : "halted",
               s.tcoTicksLeft, s.tcoNoReboot ? "set" : "clear");
        r["tco"] = {{"running", s.tcoRunning}, {"ticks_left", s.tcoTicksLeft}, {"no_reboot", s.tcoNoReboot}};
    }
    AddLastReset(s, r);
}

// The watchdog registers as the chip holds them.
void StatusReal(Report& r) {
    const svc::WdtRegisters w = svc::ReadWdtRegisters();
    r.Line("Super I/O:     chip ID %04X\n", w.chipId);
    r.Line("watchdog:      72h=%02Xh, value %u %s%s\n", w.config, w.value, w.unitSeconds ? "s" : "min",
           w.value ? "" : " (stopped)");
    r["chip_id"] = w.chipId;
    r["config"] = w.config;
    r["value"] = w.value;
    r["unit"] = w.unitSeconds ? "s" : "min";
    r["counting"] = w.value != 0;
}

int RunStatus(Context& ctx) {
    if (const int rc = CheckWatchdog(ctx)) return rc;
    Report r;
    r.Line("model:         %s (watchdog %s)\n", ctx.info.model, Family(ctx));
    r.json = {{"model", ctx.info.model}, {"family", Family(ctx)}};
    if (ctx.virtualBoard) {
        StatusVirtual(r);
    } else {
        StatusReal(r);
    }
    r.Print();
    return kExitOk;
}

}  // namespace

void AddWdtCommand(CLI::App& app, Command& command) {
    CLI::App* wdt = app.add_subcommand("wdt", "Watchdog: keep alive, let expire, show status");
    wdt->require_subcommand(1);

    CLI::App* keep = wdt->add_subcommand("keepalive", "Arm, kick every interval until interrupted or --for ends, stop");
    keep->add_option("--timeout", g_options.timeout, "Time-out: 30s or 5m")->capture_default_str();
    keep->add_option("--interval", g_options.interval, "Time between kicks: 5s, 500ms")->capture_default_str();
    keep->add_option("--for", g_options.duration, "Stop after this long (default: until Ctrl-C)");
    keep->callback([&command] { command = {RunKeepalive}; });

    CLI::App* expire = wdt->add_subcommand("expire", "Arm and stop kicking: the machine resets");
    expire->add_option("--timeout", g_options.timeout, "Time-out: 10s or 5m")->capture_default_str();
    expire->add_flag("--yes", g_options.yes, "Really let this machine reset (real hardware)");
    expire->callback([&command] { command = {RunExpire}; });

    wdt->add_subcommand("status", "Time left and last reset (virtual board); watchdog registers (hardware)")
        ->callback([&command] { command = {RunStatus}; });
}

}  // namespace halvexctl
