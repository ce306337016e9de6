// halvexctl can: the CAN bus in the idioms of can-utils. "can send" takes
// cansend's frame syntax, "can dump" prints candump's lines; both start the
// controller for their run (the unload at the end stops it again). The
// bit-timing and setup words go to the MCU as they are; their meaning is the
// firmware's (docs/virtual-firmware.md for the virtual board).
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "tools/halvexctl/commands.h"

namespace halvexctl {
namespace {

namespace svc = hx::service;
using Clock = std::chrono::system_clock;

// Flags bits of a message as the MCU firmware reads them.
constexpr uint16_t kFlagExtended = 0x0001;  // 29-bit identifier
constexpr uint16_t kFlagRemote = 0x0002;    // remote transmission request
constexpr std::size_t kStandardIdDigits = 3;
constexpr std::size_t kExtendedIdDigits = 8;
constexpr uint32_t kStandardIdMax = 0x7FF;
constexpr uint32_t kExtendedIdMax = 0x1FFFFFFF;
constexpr std::size_t kMaxData = 8;
constexpr std::size_t kSetupWordsMax = 4;
constexpr uint32_t kDefaultTimingWords = 2;
constexpr char kInterface[] = "can0";

// --demo: frames from a load on the virtual bus, this many a second.
constexpr uint32_t kDemoRate = 10;
constexpr uint32_t kDemoId = 0x123;
constexpr Ms kPollMs = 10;
constexpr Ms kBusWaitMs = 1000;

struct CanArgs {
    std::string frame;
    std::vector<std::string> words;
    uint32_t wordCount = kDefaultTimingWords;
    std::string timestamps;  // "", a, A, d, z
    std::string duration;
    unsigned long count = 0;  // 0: no limit
    bool demo = false;
};
CanArgs g_args;

int HexDigit(char c) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return -1;
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
}

bool ParseHex(const std::string& text, uint32_t* value) {
    uint32_t v = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    *value = v;
    return !text.empty();
}

bool ParseId(const std::string& text, CanMessage* m) {
    uint32_t id = 0;
    if (!ParseHex(text, &id)) return false;
    if (text.size() == kStandardIdDigits) return id <= kStandardIdMax && (m->id = id, true);
    if (text.size() != kExtendedIdDigits || id > kExtendedIdMax) return false;
    m->id = id;
    m->flags |= kFlagExtended;
    return true;
}

// "R" with an optional length digit: a remote request.
bool ParseRemote(const std::string& text, CanMessage* m) {
    if (text.size() > 2 || (text.size() == 2 && (text[1] < '0' || text[1] > '8'))) return false;
    m->flags |= kFlagRemote;
    m->length = text.size() == 2 ? static_cast<uint8_t>(text[1] - '0') : 0;
    return true;
}

// Hex byte pairs, optionally separated by '.', at most 8 bytes.
bool ParseData(const std::string& text, CanMessage* m) {
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '.') {
            ++at;
            continue;
        }
        const int hi = HexDigit(text[at]), lo = at + 1 < text.size() ? HexDigit(text[at + 1]) : -1;
        if (hi < 0 || lo < 0 || m->length == kMaxData) return false;
        m->data[m->length++] = static_cast<uint8_t>(hi << 4 | lo);
        at += 2;
    }
    return true;
}

// cansend's <can_id>#{data} and <can_id>#R{len}: 3 hex digits a standard
// id, 8 an extended one.
bool ParseFrame(const std::string& text, CanMessage* m) {
    *m = {};
    const std::size_t hash = text.find('#');
    if (hash == std::string::npos || !ParseId(text.substr(0, hash), m)) return false;
    const std::string rest = text.substr(hash + 1);
    if (!rest.empty() && (rest[0] == 'R' || rest[0] == 'r')) return ParseRemote(rest, m);
    return ParseData(rest, m);
}

// candump's "  can0  123   [4]  DE AD BE EF".
std::string DumpLine(const CanMessage& m) {
    char id[16];
    std::snprintf(id, sizeof id, (m.flags & kFlagExtended) ? "%08X" : "%03X", m.id);
    std::string line = std::string("  ") + kInterface + "  " + id + "   [" + std::to_string(m.length) + "] ";
    if (m.flags & kFlagRemote) return line + " remote request";
    for (std::size_t i = 0; i < m.length && i < kMaxData; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", m.data[i]);
        line += byte;
    }
    return line;
}

Json FrameJson(const CanMessage& m) {
    const std::size_t bytes = (m.flags & kFlagRemote) ? 0 : std::min<std::size_t>(m.length, kMaxData);
    return {{"interface", kInterface},
            {"id", m.id},
            {"extended", (m.flags & kFlagExtended) != 0},
            {"remote", (m.flags & kFlagRemote) != 0},
            {"length", m.length},
            {"data", std::vector<uint8_t>(m.data, m.data + bytes)}};
}

bool ParseWords(std::vector<uint32_t>* words) {
    for (const std::string& w : g_args.words) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(w.c_str(), &end, 0);
        if (w.empty() || *end != '\0' || v > 0xFFFFFFFFull) return false;
        words->push_back(static_cast<uint32_t>(v));
    }
    return true;
}

uint32_t Bytes(const std::vector<uint32_t>& words) { return static_cast<uint32_t>(words.size() * sizeof(uint32_t)); }

int RequireCan(const Context& ctx) { return RequireGroup(ctx, svc::kCan, "CAN bus"); }

// ---- can send ------------------------------------------------------------------

// The virtual board shows the frame as its bus got it.
void ShowOnVirtualBus(uint32_t before) {
    svc::CanBusFrame f{};
    for (Ms waited = 0; waited < kBusWaitMs && !svc::GetCanBusFrame(before, &f); waited += kPollMs) SleepMs(kPollMs);
    if (!svc::GetCanBusFrame(before, &f)) return;
    CanMessage m{f.id, f.flags, 0, f.length, {}};
    std::copy(std::begin(f.data), std::end(f.data), m.data);
    Emit({{"virtual_bus", FrameJson(m)}}, "virtual bus:" + DumpLine(m).substr(1) + "\n");
}

int RunSend(Context& ctx) {
    if (const int rc = RequireCan(ctx)) return rc;
    CanMessage m{};
    if (!ParseFrame(g_args.frame, &m)) {
        return BadUsage("'" + g_args.frame + "' is not <id>#<data> (3 or 8 hex digits, up to 8 data bytes) or <id>#R");
    }
    const uint32_t before = ctx.virtualBoard ? svc::GetCanController().onBus : 0;
    if (!CAN_Start(0)) return Fail("CAN_Start failed");
    if (!CAN_Send(0, &m, sizeof m)) return Fail("CAN_Send failed");
    if (ctx.virtualBoard) ShowOnVirtualBus(before);
    return 0;
}

// ---- can dump ------------------------------------------------------------------

std::mutex g_printLock;
std::atomic<unsigned long> g_dumped{0};
Clock::time_point g_last{};
bool g_haveLast = false;

// The frame's time stamp by -t, in microseconds: since the epoch (a),
// since the frame before (d) or since the first frame (z).
long long StampUs(Clock::time_point now) {
    const std::string& mode = g_args.timestamps;
    Clock::duration shown = now.time_since_epoch();
    if (mode == "d" || mode == "z") {
        if (!g_haveLast) g_last = now, g_haveLast = true;
        shown = now - g_last;
        if (mode == "d") g_last = now;
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(shown).count();
}

constexpr long long kUsPerSecond = 1000000;

void HX_CALLBACK OnReceived(CanMessage* m, uint32_t) {
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> hold(g_printLock);
    if (g_args.count && g_dumped.load() >= g_args.count) return;
    Json json = FrameJson(*m);
    std::string stamp;
    if (!g_args.timestamps.empty()) {
        const long long us = StampUs(now);
        stamp = Format(g_args.timestamps == "a" ? " (%010lld.%06lld)" : " (%03lld.%06lld)", us / kUsPerSecond,
                       us % kUsPerSecond);
        json["timestamp"] = static_cast<double>(us) / kUsPerSecond;
    }
    Emit(json, stamp + DumpLine(*m) + "\n");
    ++g_dumped;
}

bool Done(std::optional<Ms> duration, Ms waited) {
    return Interrupted() || (duration && waited >= *duration) || (g_args.count && g_dumped.load() >= g_args.count);
}

int RunDump(Context& ctx) {
    if (const int rc = RequireCan(ctx)) return rc;
    std::optional<Ms> duration;
    if (!g_args.duration.empty() && !(duration = ParseDuration(g_args.duration))) {
        return BadUsage("bad --for '" + g_args.duration + "'");
    }
    if (g_args.demo && !ctx.virtualBoard) return BadUsage("--demo needs the virtual board");
    CAN_RegisterReceived(0, OnReceived);
    if (!CAN_Start(0)) return CAN_RegisterReceived(0, nullptr), Fail("CAN_Start failed");
    if (g_args.demo) svc::StartCanLoad(kDemoRate, kDemoId);
    CatchInterrupt(true);
    for (Ms waited = 0; !Done(duration, waited); waited += kPollMs) SleepMs(kPollMs);
    CatchInterrupt(false);
    CAN_Stop(0);
    CAN_RegisterReceived(0, nullptr);
    return 0;
}

// ---- bit timing, setup, stop -------------------------------------------------------

int RunTimingGet(Context& ctx) {
    if (const int rc = RequireCan(ctx)) return rc;
    std::vector<uint32_t> words(g_args.wordCount, 0);
    if (!CAN_BitTimingGet(0, words.data(), Bytes(words))) return Fail("CAN_BitTimingGet failed");
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) text += Format("%s%u", i ? " " : "", words[i]);
    Emit({{"words", words}}, text + "\n");
    return kExitOk;
}

int RunWords(Context& ctx, const char* what, HX_BOOL(HX_API* call)(uint32_t, void*, uint32_t), std::size_t max) {
    if (const int rc = RequireCan(ctx)) return rc;
    std::vector<uint32_t> words;
    if (!ParseWords(&words)) return BadUsage("WORDS must be 32-bit numbers");
    if (words.size() > max) return BadUsage(std::string(what) + " takes at most " + std::to_string(max) + " words");
    if (!call(0, words.data(), Bytes(words))) return Fail(std::string(what) + " failed");
    return 0;
}

int RunTimingSet(Context& ctx) { return RunWords(ctx, "CAN_BitTimingSet", CAN_BitTimingSet, ~std::size_t{0}); }
int RunSetup(Context& ctx) { return RunWords(ctx, "CAN_Setup", CAN_Setup, kSetupWordsMax); }

int RunStop(Context& ctx) {
    if (const int rc = RequireCan(ctx)) return rc;
    return CAN_Stop(0) ? 0 : Fail("CAN_Stop failed");
}

}  // namespace

void AddCanCommand(CLI::App& app, Command& command) {
    auto* can = app.add_subcommand("can", "CAN bus (can-utils style)");
    can->require_subcommand(1);

    auto* send = can->add_subcommand("send", "Send one frame: 123#DEADBEEF, 12345678#DE.AD, 123#R");
    send->add_option("FRAME", g_args.frame, "<id>#<data> or <id>#R[len]")->required();
    send->callback([&command] { command = {RunSend}; });

    auto* dump = can->add_subcommand("dump", "Print received frames as candump does, until Ctrl-C");
    dump->add_option("-t", g_args.timestamps, "timestamps: a absolute, d delta, z from the first frame")
        ->check(CLI::IsMember({"a", "d", "z"}));
    dump->add_option("--for", g_args.duration, "stop after this long (500ms, 5s, 1m)");
    dump->add_option("--count,-n", g_args.count, "stop after this many frames");
    dump->add_flag("--demo", g_args.demo, "virtual board: a bus load of 10 frames a second, id 123");
    dump->callback([&command] { command = {RunDump}; });

    auto* timing = can->add_subcommand("bittiming", "Read or write the bit-timing words");
    timing->require_subcommand(1);
    auto* get = timing->add_subcommand("get", "Print the bit-timing words");
    get->add_option("--words", g_args.wordCount, "how many words (default 2)");
    get->callback([&command] { command = {RunTimingGet}; });
    auto* set = timing->add_subcommand("set", "Write the bit-timing words");
    set->add_option("WORDS", g_args.words, "32-bit words")->required();
    set->callback([&command] { command = {RunTimingSet}; });

    auto* setup = can->add_subcommand("setup", "Write the setup words (at most four)");
    setup->add_option("WORDS", g_args.words, "32-bit words")->required();
    setup->callback([&command] { command = {RunSetup}; });

    auto* stop = can->add_subcommand("stop", "Send the stop sequence to the controller");
    stop->callback([&command] { command = {RunStop}; });
}

}  // namespace halvexctl
