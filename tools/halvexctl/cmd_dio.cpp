// halvexctl di / do: the isolated digital inputs and outputs, in the idioms
// of libgpiod's tools. Lines are numbered from 0 as on the connector; an
// input reads 1 while it is driven active, an output written 1 is switched
// on. On the virtual board, "board di" drives the connector's inputs and
// shows both sides of it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr Ms kDemoStepMs = 200;  // --demo: one input changes this often

struct DioArgs {
    std::vector<std::string> items;  // LINE, LINE=VALUE or VALUE, by command
    bool checked = false;
    std::string interval = "10ms";
    std::string duration;  // empty: until interrupted
    bool demo = false;
};
DioArgs g_args;

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || v > max) return false;
    *out = v;
    return true;
}

std::string Range(uint32_t lines) { return lines == 1 ? "0" : "0.." + std::to_string(lines - 1); }

std::string Who(const Context& ctx) {
    return std::string(ctx.info.model) + " (DIO family " + ctx.info.groups[svc::kDio].family + ")";
}

// "Trelo-05 (DIO family D4) has output lines 0..7".
std::string RangeError(const Context& ctx, const char* kind, uint32_t lines) {
    return Who(ctx) + " has " + kind + " lines " + Range(lines);
}

// The family has lines of `kind`: 0, else 3 after saying so.
int RequireLines(const Context& ctx, const char* kind, uint32_t lines) {
    return lines ? kExitOk : NoFeature(Who(ctx) + " has no " + kind + " lines");
}

bool ParseLine(const std::string& text, uint32_t lines, uint32_t* line) {
    unsigned long v = 0;
    if (!ParseUnsigned(text, 0xFFFF, &v) || v >= lines) return false;
    *line = static_cast<uint32_t>(v);
    return true;
}

// "on", "off", "1", "0", "active", "inactive".
bool ParseLevel(const std::string& text, bool* on) {
    if (text == "on" || text == "1" || text == "active") return *on = true, true;
    if (text == "off" || text == "0" || text == "inactive") return *on = false, true;
    return false;
}

// Splits "LINE=VALUE" and checks both halves.
bool ParseAssignment(const std::string& item, uint32_t lines, uint32_t* line, bool* on) {
    const std::size_t eq = item.find('=');
    return eq != std::string::npos && ParseLine(item.substr(0, eq), lines, line) &&
           ParseLevel(item.substr(eq + 1), on);
}

// The model must have a DIO family, and InitDIO must report it usable (a
// process that loads the library first runs the DIO set-up).
int RequireDio(const Context& ctx) {
    if (const int rc = RequireGroup(ctx, svc::kDio, "digital I/O")) return rc;
    if (!InitDIO()) return Fail("InitDIO failed: the digital I/O of " + std::string(ctx.info.model) + " is not usable");
    return 0;
}

void EmitInputs(const Lines& inputs) { Emit({{"inputs", inputs.json}}, inputs.text + "\n"); }

int RunRead(Context& ctx) {
    if (const int rc = RequireDio(ctx)) return rc;
    const uint32_t lines = ctx.info.diLines;
    if (const int rc = RequireLines(ctx, "input", lines)) return rc;
    if (g_args.items.empty()) {
        EmitInputs(PortLines(DIReadPort(), lines, "active"));
        return kExitOk;
    }
    std::vector<uint32_t> chosen;
    for (const std::string& item : g_args.items) {
        uint32_t line = 0;
        if (!ParseLine(item, lines, &line)) return BadUsage("no input line '" + item + "': " + RangeError(ctx, "input", lines));
        chosen.push_back(line);
    }
    Lines read{"active"};
    for (const uint32_t line : chosen) read.Add(line, DIReadLine(static_cast<uint8_t>(line)) != 0);
    EmitInputs(read);
    return kExitOk;
}

int RunWrite(Context& ctx) {
    if (const int rc = RequireDio(ctx)) return rc;
    const uint32_t lines = ctx.info.doLines;
    if (const int rc = RequireLines(ctx, "output", lines)) return rc;
    struct Write {
        uint32_t line;
        bool on;
    };
    std::vector<Write> writes;
    for (const std::string& item : g_args.items) {
        Write w{};
        if (!ParseAssignment(item, lines, &w.line, &w.on)) {
            return BadUsage("'" + item + "' is not LINE=on|off: " + RangeError(ctx, "output", lines));
        }
        writes.push_back(w);
    }
    for (const Write& w : writes) DOWriteLine(static_cast<uint8_t>(w.line), w.on ? 1 : 0);
    return 0;
}

int RunPort(Context& ctx) {
    if (const int rc = RequireDio(ctx)) return rc;
    const uint32_t lines = ctx.info.doLines;
    if (const int rc = RequireLines(ctx, "output", lines)) return rc;
    if (!ctx.info.doPortWrites) return NoFeature(Who(ctx) + " switches its outputs one line at a time: use 'do write'");
    unsigned long value = 0;
    const unsigned long max = (1ul << lines) - 1;
    if (g_args.items.size() != 1 || !ParseUnsigned(g_args.items[0], max, &value)) {
        return BadUsage("VALUE must be a number of at most " + std::to_string(lines) + " bits: " +
                    RangeError(ctx, "output", lines));
    }
    if (g_args.checked) {
        DOWritePortChecked(static_cast<uint16_t>(value));
    } else {
        DOWritePort(static_cast<uint16_t>(value));
    }
    return 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void EmitChanges(double at, uint32_t before, uint32_t now, uint32_t lines) {
    for (uint32_t line = 0; line < lines; ++line) {
        const uint32_t bit = 1u << line;
        if ((before ^ now) & bit) EmitEdge(at, line, (now & bit) != 0);
    }
}

// --demo on the virtual board: walks one active input across the lines.
void DemoStep(Ms elapsed, uint32_t lines) {
    static Ms nextAt = 0;
    if (elapsed < nextAt) return;
    const uint32_t step = static_cast<uint32_t>(elapsed / kDemoStepMs);
    for (uint32_t line = 0; line < lines; ++line) svc::SetBoardInput(line, line == step % lines);
    nextAt = (step + 1) * kDemoStepMs;
}

int RunMonitor(Context& ctx) {
    if (const int rc = RequireDio(ctx)) return rc;
    const uint32_t lines = ctx.info.diLines;
    if (const int rc = RequireLines(ctx, "input", lines)) return rc;
    const auto interval = ParseDuration(g_args.interval);
    if (!interval || *interval == 0) return BadUsage("--interval takes a duration such as 10ms or 1s");
    const auto limit = g_args.duration.empty() ? std::optional<Ms>{} : ParseDuration(g_args.duration);
    if (!g_args.duration.empty() && !limit) return BadUsage("--for takes a duration such as 10s or 5m");
    if (g_args.demo && !ctx.virtualBoard) return BadUsage("--demo drives the virtual board's inputs; use --virtual");
    if (*ctx.info.groups[svc::kDicos].family) return MonitorInputsByEvents(ctx, limit, g_args.demo);
    const auto start = std::chrono::steady_clock::now();
    uint32_t last = DIReadPort();
    EmitInitialLines(last, lines);
    CatchInterrupt(true);
    while (!Interrupted()) {
        const Ms elapsed = static_cast<Ms>(SecondsSince(start) * kMsPerSecond);
        if (limit && elapsed >= *limit) break;
        if (g_args.demo) DemoStep(elapsed, lines);
        const uint32_t now = DIReadPort();
        if (now != last) EmitChanges(SecondsSince(start), last, now, lines);
        last = now;
        SleepMs(*interval);
    }
    CatchInterrupt(false);
    return 0;
}

// "board di": drives the connector's inputs, then shows both sides of it.
int RunBoardDi(Context& ctx) {
    if (const int rc = RequireVirtualBoard(ctx)) return rc;
    const svc::DioLines field = svc::GetBoardDioLines();
    if (field.inputCount == 0) return NoFeature(std::string(ctx.info.board) + " has no isolated inputs");
    for (const std::string& item : g_args.items) {
        uint32_t line = 0;
        bool on = false;
        if (!ParseAssignment(item, field.inputCount, &line, &on)) {
            return BadUsage("'" + item + "' is not LINE=0|1: " + ctx.info.board + " has input lines " +
                        Range(field.inputCount));
        }
        svc::SetBoardInput(line, on);
    }
    const svc::DioLines now = svc::GetBoardDioLines();
    const Lines inputs = PortLines(now.inputsActive, now.inputCount, "active");
    const Lines outputs = PortLines(now.outputsOn, now.outputCount, "on");
    Emit({{"inputs", inputs.json}, {"outputs", outputs.json}, {"routing", now.routing}},
         "inputs:  " + inputs.text + "\noutputs: " + outputs.text + "\nrouting: " + now.routing + "\n");
    return kExitOk;
}

void AddItems(CLI::App* sub, const char* name, const char* help, bool required) {
    auto* opt = sub->add_option(name, g_args.items, help);
    if (required) opt->required();
}

}  // namespace

void Lines::Add(uint32_t line, bool level) {
    text += Format("%s%u=%u", text.empty() ? "" : " ", line, level ? 1u : 0u);
    json.push_back({{"line", line}, {key, level}});
}

Lines PortLines(uint32_t bits, uint32_t count, const char* key) {
    Lines lines{key};
    for (uint32_t line = 0; line < count; ++line) lines.Add(line, (bits >> line) & 1);
    return lines;
}

void EmitInitialLines(uint32_t bits, uint32_t count) {
    const Lines inputs = PortLines(bits, count, "active");
    Emit({{"seconds", 0.0}, {"event", "initial"}, {"inputs", inputs.json}},
         Format("%.6f initial ", 0.0) + inputs.text + "\n");
}

// gpiomon-style: "<seconds> rising|falling <line>".
void EmitEdge(double seconds, uint32_t line, bool rising) {
    const char* edge = rising ? "rising" : "falling";
    Emit({{"seconds", seconds}, {"event", edge}, {"line", line}}, Format("%.6f %s %u\n", seconds, edge, line));
}

void AddDioCommand(CLI::App& app, Command& command) {
    auto* di = app.add_subcommand("di", "Isolated digital inputs");
    di->require_subcommand(1);
    auto* read = di->add_subcommand("read", "Read input lines (all when none are named); 1 = active");
    AddItems(read, "LINE", "input line numbers", false);
    read->callback([&command] { command = {RunRead}; });
    auto* monitor = di->add_subcommand("monitor", "Print input changes with timestamps until Ctrl-C (as the MCU reports them where the model has DI change events, else polled)");
    monitor->add_option("--interval", g_args.interval, "polling interval, e.g. 10ms (models without DI change events)");
    monitor->add_option("--for", g_args.duration, "stop after this long, e.g. 10s");
    monitor->add_flag("--demo", g_args.demo, "virtual board: walk an active input across the lines");
    monitor->callback([&command] { command = {RunMonitor}; });

    auto* out = app.add_subcommand("do", "Isolated digital outputs");
    out->require_subcommand(1);
    auto* write = out->add_subcommand("write", "Switch output lines: LINE=on|off ...");
    AddItems(write, "LINE=VALUE", "e.g. 3=on 4=off", true);
    write->callback([&command] { command = {RunWrite}; });
    auto* port = out->add_subcommand("port", "Write all output lines at once, line n from bit n");
    AddItems(port, "VALUE", "e.g. 0x0F", true);
    port->add_flag("--checked", g_args.checked, "wait until the outputs read back as written");
    port->callback([&command] { command = {RunPort}; });
}

void AddBoardCommand(CLI::App& app, Command& command) {
    auto* board = app.add_subcommand("board", "The virtual board's field side (with --virtual)");
    board->require_subcommand(1);
    auto* di = board->add_subcommand("di", "Drive the connector's inputs (LINE=0|1 ...) and show its lines");
    AddItems(di, "LINE=LEVEL", "e.g. 3=1 4=0", false);
    di->callback([&command] { command = {RunBoardDi}; });
}

}  // namespace halvexctl
