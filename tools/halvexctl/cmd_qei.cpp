// halvexctl qei: the MCU's quadrature encoder inputs. "setup" sends the
// setup words, "start" and "stop" one channel each (bit CH of the value),
// "read" prints a channel's position, direction and velocity, once or every
// interval with --watch. The words mean what the MCU firmware makes of them
// (docs/virtual-firmware.md for the virtual board). On the virtual board,
// "board shaft RPM" turns the shaft the encoders sit on, and a watch moves
// the board clock by each interval, so the shaft turns between readings.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;

constexpr unsigned long long kChannelMax = 31;  // bit CH of the start and stop value
constexpr std::size_t kWordBytes = sizeof(uint32_t);
constexpr char kDefaultInterval[] = "1s";

struct QeiArgs {
    std::vector<std::string> words;  // setup words
    std::string channel;
    bool start = false;              // read: start the channel first
    std::string shaft;               // read: virtual shaft speed, rpm
    bool watch = false;
    std::string interval = kDefaultInterval;
    std::string duration;            // watch: empty = until interrupted
};
QeiArgs g_args;

int RequireQei(const Context& ctx) { return RequireGroup(ctx, svc::kQei, "quadrature encoder"); }

int Sent(bool ok, const char* what) {
    return ok ? 0 : Fail(std::string(what) + " failed: the MCU did not take it");
}

bool ParseChannel(uint32_t* channel) { return ParseNumber(g_args.channel, kChannelMax, channel); }

bool ParseRpm(const std::string& text, int32_t* rpm) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    *rpm = static_cast<int32_t>(v);
    return true;
}

int RunSetup(Context& ctx) {
    if (const int rc = RequireQei(ctx)) return rc;
    std::vector<uint32_t> words(g_args.words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!ParseNumber(g_args.words[i], UINT32_MAX, &words[i])) return BadUsage("bad setup word '" + g_args.words[i] + "'");
    }
    return Sent(QEI_Setup(0, words.data(), static_cast<uint32_t>(words.size() * kWordBytes)), "QEI_Setup");
}

int StartStop(Context& ctx, HX_BOOL(HX_API* call)(uint32_t), const char* what) {
    if (const int rc = RequireQei(ctx)) return rc;
    uint32_t channel = 0;
    if (!ParseChannel(&channel)) return BadUsage("bad channel '" + g_args.channel + "': 0..31");
    return Sent(call(1u << channel), what);
}

int RunStart(Context& ctx) { return StartStop(ctx, QEI_Start, "QEI_Start"); }
int RunStop(Context& ctx) { return StartStop(ctx, QEI_Stop, "QEI_Stop"); }

// "position -1000 (FFFFFC18)  direction 1  velocity 4000": the position as
// a signed count and as the word itself; a watch puts the time before it.
int EmitReading(uint32_t channel, std::optional<Ms> at) {
    uint32_t position = 0, direction = 0, velocity = 0;
    if (!QEI_GetPosition(channel, &position)) return Fail("QEI_GetPosition failed: the MCU did not answer");
    if (!QEI_GetDirection(channel, &direction)) return Fail("QEI_GetDirection failed: the MCU did not answer");
    if (!QEI_GetVelocity(channel, &velocity)) return Fail("QEI_GetVelocity failed: the MCU did not answer");
    Json json = Json::object();
    std::string text;
    if (at) {
        json["seconds"] = static_cast<double>(*at) / kMsPerSecond;
        text = Format("%llu.%03llu s  ", *at / kMsPerSecond, *at % kMsPerSecond);
    }
    const auto signedPosition = static_cast<int32_t>(position);
    json.update({{"channel", channel}, {"position", signedPosition}, {"direction", direction}, {"velocity", velocity}});
    Emit(json, text + Format("position %d (%08X)  direction %u  velocity %u\n", signedPosition, position, direction,
                             velocity));
    return kExitOk;
}

// Every interval until --for ends or Ctrl-C. With an end on the virtual
// board the run takes board time only; otherwise it sleeps as well.
int Watch(const Context& ctx, uint32_t channel, Ms interval, std::optional<Ms> duration) {
    const bool boardTime = ctx.virtualBoard && duration.has_value();
    int rc = EmitReading(channel, Ms{0});
    CatchInterrupt(true);
    for (Ms elapsed = 0; rc == 0 && !Interrupted() && (!duration || elapsed < *duration);) {
        const Ms step = duration ? std::min(interval, *duration - elapsed) : interval;
        if (!boardTime) SleepMs(step);
        if (Interrupted()) break;
        if (ctx.virtualBoard && (boardTime || !svc::BoardClockFollowsRealTime())) svc::AdvanceBoardClock(step);
        elapsed += step;
        rc = EmitReading(channel, elapsed);
    }
    CatchInterrupt(false);
    return rc;
}

int RunRead(Context& ctx) {
    if (const int rc = RequireQei(ctx)) return rc;
    uint32_t channel = 0;
    if (!ParseChannel(&channel)) return BadUsage("bad channel '" + g_args.channel + "': 0..31");
    const auto interval = ParseDuration(g_args.interval);
    if (!interval || *interval == 0) return BadUsage("bad --interval '" + g_args.interval + "'");
    std::optional<Ms> duration;
    if (!g_args.duration.empty() && !(duration = ParseDuration(g_args.duration))) {
        return BadUsage("bad --for '" + g_args.duration + "'");
    }
    int32_t rpm = 0;
    if (!g_args.shaft.empty()) {
        if (!ctx.virtualBoard) return BadUsage("--shaft turns the virtual board's shaft; use --virtual");
        if (!ParseRpm(g_args.shaft, &rpm)) return BadUsage("bad --shaft '" + g_args.shaft + "': revolutions per minute");
        svc::SetBoardShaftRpm(rpm);
    }
    if (g_args.start && !QEI_Start(1u << channel)) return Fail("QEI_Start failed: the MCU did not take it");
    return g_args.watch ? Watch(ctx, channel, *interval, duration) : EmitReading(channel, std::nullopt);
}

// "board shaft RPM": turns the shaft, then shows the encoder channels as
// the firmware counts them.
int RunBoardShaft(Context& ctx) {
    if (const int rc = RequireVirtualBoard(ctx)) return rc;
    int32_t rpm = 0;
    if (!ParseRpm(g_args.shaft, &rpm)) return BadUsage("bad RPM '" + g_args.shaft + "': revolutions per minute");
    if (!svc::GetBoardEncoder(0).exists) return NoFeature(std::string(ctx.info.board) + " has no encoder inputs");
    Report r;
    rpm = svc::SetBoardShaftRpm(rpm);
    r.Line("shaft %d rpm\n", rpm);
    r.json = {{"rpm", rpm}, {"encoders", Json::array()}};
    for (uint32_t ch = 0; svc::GetBoardEncoder(ch).exists; ++ch) {
        const svc::BoardEncoder e = svc::GetBoardEncoder(ch);
        const auto position = static_cast<int32_t>(e.position);
        r.Line("encoder %u: %s  position %d  direction %u  velocity %u  lines %u\n", ch, e.running ? "running" : "stopped",
               position, e.direction, e.velocity, e.linesPerRev);
        r["encoders"].push_back({{"channel", ch}, {"running", e.running}, {"position", position}, {"direction", e.direction},
                                 {"velocity", e.velocity}, {"lines_per_rev", e.linesPerRev}});
    }
    r.Print();
    return kExitOk;
}

void AddChannel(CLI::App* sub) { sub->add_option("CH", g_args.channel, "encoder channel")->required(); }

}  // namespace

void AddQeiCommand(CLI::App& app, Command& command) {
    auto* qei = app.add_subcommand("qei", "Quadrature encoder inputs");
    qei->require_subcommand(1);
    auto* setup = qei->add_subcommand("setup", "Send the setup words (from B9h, one command each)");
    setup->add_option("WORDS", g_args.words, "32-bit words")->required();
    setup->callback([&command] { command = {RunSetup}; });
    auto* start = qei->add_subcommand("start", "Start channel CH (bit CH of the start value)");
    AddChannel(start);
    start->callback([&command] { command = {RunStart}; });
    auto* stop = qei->add_subcommand("stop", "Stop channel CH (bit CH of the stop value)");
    AddChannel(stop);
    stop->callback([&command] { command = {RunStop}; });
    auto* read = qei->add_subcommand("read", "Print position, direction and velocity of channel CH");
    AddChannel(read);
    read->add_flag("--start", g_args.start, "start the channel first");
    read->add_option("--shaft", g_args.shaft, "virtual board: turn the shaft at this many rpm first");
    read->add_flag("--watch", g_args.watch, "read every interval until Ctrl-C or --for ends");
    read->add_option("--interval", g_args.interval, "watch: time between readings (e.g. 250ms; default 1s)");
    read->add_option("--for", g_args.duration, "watch: stop after this long (e.g. 5s)");
    read->callback([&command] { command = {RunRead}; });

    auto* shaft = BoardSubcommand(app).add_subcommand("shaft", "Turn the encoders' shaft (RPM, negative: backwards)");
    shaft->add_option("RPM", g_args.shaft, "revolutions per minute")->required();
    shaft->callback([&command] { command = {RunBoardShaft}; });
}

}  // namespace halvexctl
