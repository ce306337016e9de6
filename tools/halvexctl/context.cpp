#include "tools/halvexctl/context.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace halvexctl {

namespace svc = hx::service;

namespace {

constexpr Ms kPollMs = 100;  // how often a wait looks at Ctrl-C

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

bool g_json = false;
std::mutex g_emitLock;

std::string FormatList(const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

void Put(const std::string& text) {
    const std::lock_guard<std::mutex> hold(g_emitLock);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

bool ParseNumber(const std::string& text, unsigned long long max, uint32_t* out) {
    std::string t = text;
    int base = 0;
    if (!t.empty() && (t.back() == 'h' || t.back() == 'H')) {
        t.pop_back();
        base = 16;
    }
    if (t.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str(), &end, base);
    if (*end != '\0' || v > max) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

std::optional<Ms> ParseDuration(const std::string& text) {
    std::size_t used = 0;
    Ms n = 0;
    try {
        n = std::stoull(text, &used);
    } catch (...) {
        return std::nullopt;
    }
    const std::string suffix = text.substr(used);
    if (suffix == "ms") return n;
    if (suffix.empty() || suffix == "s") return n * kMsPerSecond;
    if (suffix == "m" || suffix == "min") return n * kMsPerMinute;
    if (suffix == "h") return n * kMsPerHour;
    return std::nullopt;
}

void CatchInterrupt(bool on) { std::signal(SIGINT, on ? OnInterrupt : SIG_DFL); }

bool Interrupted() { return g_interrupted != 0; }

void SleepMs(Ms ms) {
    for (Ms waited = 0; waited < ms && !g_interrupted; waited += kPollMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kPollMs, ms - waited)));
    }
}

bool Attach(Context& ctx) {
    // --virtual: the shared machine of the model and HALVEX_VIRTUAL_BOARD.
    const svc::Load load = ctx.virtualBoard ? svc::LoadOnSharedVirtualBoard(ctx.model.c_str()) : svc::LoadOnHardware();
    if (load == svc::Load::UnknownModel) {
        UnknownModel(ctx.model);
        return false;
    }
    ctx.loaded = load == svc::Load::Open;
    ctx.info = svc::GetInfo();
    if (ctx.virtualBoard) ctx.model = ctx.info.board;
    return true;
}

void Detach(Context& ctx) {
    svc::Unload();
    ctx.loaded = false;
}

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "halvexctl: %s\n", message.c_str());
    return code;
}

std::string Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = FormatList(format, args);
    va_end(args);
    return text;
}

Report& Report::Line(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    text += FormatList(format, args);
    va_end(args);
    return *this;
}

void SetJsonOutput(bool on) { g_json = on; }
bool JsonOutput() { return g_json; }

// Bytes that are not UTF-8 (a name read from the hardware) become U+FFFD.
void Emit(const Json& object, const std::string& text) {
    Put(g_json ? object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n" : text);
}

void Note(const std::string& text) {
    if (!g_json) Put(text);
}

void NoteWatching(const std::string& what, bool ends) {
    Note("watching " + what + (ends ? "" : " until interrupted") + "\n");
}

int UnknownModel(const std::string& model) {
    return BadUsage("unknown virtual board model '" + model + "' (see 'halvexctl models')");
}

int RequireVirtualBoard(const Context& ctx) {
    return ctx.virtualBoard ? kExitOk : BadUsage("'board' acts on the virtual board; use --virtual");
}

int Require(const Context& ctx, bool feature, const std::string& what) {
    if (!ctx.loaded) return Fail("hardware access is not open");
    if (!*ctx.info.model) return NoFeature("no supported model detected");
    if (!feature) return NoFeature(std::string(ctx.info.model) + " has no " + what);
    return 0;
}

int RequireGroup(const Context& ctx, svc::Group group, const std::string& what) {
    return Require(ctx, *ctx.info.groups[group].family != '\0', what);
}

}  // namespace halvexctl
