// hx_soak: the library on a virtual board in this process, driven by
// several threads that call random sequences of exports while the MCU and
// CAN receive threads run and events flow; with --faults a fault thread
// meanwhile breaks the MCU transport at random. Every call is timed against
// its bound (its own waits: the time spent waiting for the library lock
// held by another thread is left out). At the end, faults off, a check round
// asserts that every feature of the model works again.
//
//   hx_soak [--seconds N] [--threads T] [--faults] [--model NAME] [--seed S]
//
// Defaults: 10 s, 4 threads, no faults, Trelo-11, seed 1. The fault soak:
// `hx_soak --seconds 120 --threads 4 --faults --model Trelo-05`; the race
// run (TSan build): `hx_soak --seconds 60 --threads 16`. Exit 0 when no call
// passed its bound, nothing failed that must not, and the check round
// passed; 1 with the findings printed. With HX_REPORT_DIR set it writes
// R3.json (faults) or R5.json there.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "halvex32.h"
#include "halvex32_service.h"
#include "sim/posix/link_host.h"

namespace svc = hx::service;
using Clock = std::chrono::steady_clock;
using Rng = std::mt19937;

// ---- time spent waiting for the library lock, per thread ------------------------
// The soak links with --wrap on the lock's entry: the wrapper times it.
// The hang monitor sees it too: a call queued behind other threads' slow
// exchanges is not hanging.
thread_local double t_lockWaitMs = 0;
thread_local std::atomic<double>* t_publishedWaitMs = nullptr;  // NaN while waiting
extern "C" void __real__ZN2hx2os16LibraryLockEnterEv();
extern "C" void __wrap__ZN2hx2os16LibraryLockEnterEv() {
    const auto t0 = Clock::now();
    if (t_publishedWaitMs) t_publishedWaitMs->store(std::numeric_limits<double>::quiet_NaN());
    __real__ZN2hx2os16LibraryLockEnterEv();
    t_lockWaitMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (t_publishedWaitMs) t_publishedWaitMs->store(t_lockWaitMs);
}

namespace {

// ---- bounds ------------------------------------------------------------------------
constexpr double kExchangeMs = 1000 + 10;  // answer time-out plus the completion read
constexpr double kSmbusWaitMs = 1000;      // 100 polls of 10 ms
constexpr double kCheckedMs = 100;         // read-back of a checked write
constexpr double kThreadStopMs = 20 + 500; // settle, then join
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kMarginMs = 1500;  // sanitizers slow every step
#else
constexpr double kMarginMs = 250;   // scheduling on a shared machine
#endif

enum Class { kExchange, kSmbus, kChecked, kLocal, kClasses };
const char* const kClassName[kClasses] = {"exchange", "SMBus", "checked write", "no wait"};

struct Action {
    const char* name;
    Class cls;
    double units;    // exchanges, SMBus waits or checked writes
    double extraMs;  // thread stops and sleeps of the call
    bool (*run)(Rng&);
};

uint32_t Pick(Rng& r, uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(r); }

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::atomic<uint32_t> g_canRx{0}, g_canMarks{0}, g_diEvents{0}, g_statusEvents{0};
constexpr uint32_t kMarkId = 0x5A5;
void HX_CALLBACK OnCan(CanMessage* m, uint32_t) {
    g_canRx++;
    if (m->id == kMarkId) g_canMarks++;
}
void HX_CALLBACK OnDi(DiEventRecord*) { g_diEvents++; }
void HX_CALLBACK OnStatus(uint32_t) { g_statusEvents++; }
void HX_CALLBACK OnPwm(uint32_t, uint32_t) { g_statusEvents++; }

CanMessage Message(uint32_t id) { return CanMessage{id, 0, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}}; }

// Each row: one export with arguments in range; the bound of the call is
// units x its class's wait plus extraMs.
const Action kActions[] = {
    {"MCU_GetVersion", kExchange, 1, 0, [](Rng&) { uint32_t v = 0; return MCU_GetVersion(&v) != 0; }},
    {"InitDIO", kExchange, 1, 0, [](Rng&) { return InitDIO() != 0; }},
    {"DIReadPort", kExchange, 1, 0, [](Rng&) { return DIReadPort(), true; }},
    {"DIReadLine", kExchange, 1, 0, [](Rng& r) { return DIReadLine(static_cast<uint8_t>(Pick(r, 16))), true; }},
    {"DOWriteLine", kExchange, 1, 0, [](Rng& r) { return DOWriteLine(static_cast<uint8_t>(Pick(r, 16)), Pick(r, 2)), true; }},
    {"DOWritePort", kExchange, 1, 0, [](Rng& r) { return DOWritePort(static_cast<uint16_t>(Pick(r, 0x10000))), true; }},
    {"DOWritePortChecked", kChecked, 1, 0, [](Rng& r) { return DOWritePortChecked(static_cast<uint16_t>(Pick(r, 0x10000))), true; }},
    {"CAN_Send", kExchange, 1, 0, [](Rng& r) { CanMessage m = Message(0x100 + Pick(r, 0x100)); return CAN_Send(0, &m, sizeof m) != 0; }},
    {"CAN_Setup", kExchange, 4, 0, [](Rng&) { uint32_t s[4] = {1, 0, 0, 0}; return CAN_Setup(0, s, sizeof s) != 0; }},
    {"CAN_BitTimingGet", kExchange, 2, 0, [](Rng&) { uint32_t t[2] = {}; return CAN_BitTimingGet(0, t, sizeof t) != 0; }},
    {"CAN_Start", kExchange, 2, 2 * kThreadStopMs + 120, [](Rng&) { return CAN_Start(0) != 0; }},
    {"CAN_Stop", kExchange, 2, 2 * kThreadStopMs + 20, [](Rng&) { return CAN_Stop(0) != 0; }},
    {"PWM_GenSetup", kExchange, 3, 0, [](Rng& r) { uint32_t s[3] = {1000, Pick(r, 1000), 0}; return PWM_GenSetup(Pick(r, 4), s, sizeof s) != 0; }},
    {"PWM_Start", kExchange, 1, 0, [](Rng& r) { return PWM_Start(1u << Pick(r, 4)) != 0; }},
    {"PWM_Stop", kExchange, 1, 0, [](Rng& r) { return PWM_Stop(1u << Pick(r, 4)) != 0; }},
    {"ADC_Start", kExchange, 2, 0, [](Rng& r) { return ADC_Start(1u << Pick(r, 8)) != 0; }},
    {"ADC_GetData", kExchange, 1, 0, [](Rng& r) { double v = 0; return ADC_GetData(Pick(r, 8), &v) != 0; }},
    {"QEI_GetPosition", kExchange, 1, 0, [](Rng& r) { uint32_t p = 0; return QEI_GetPosition(Pick(r, 2), &p) != 0; }},
    {"QEI_SetPosition", kExchange, 2, 0, [](Rng& r) { return QEI_SetPosition(Pick(r, 2), Pick(r, 1000)) != 0; }},
    {"QEI_Start", kExchange, 1, 0, [](Rng&) { return QEI_Start(3) != 0; }},
    {"IGN_GetState", kExchange, 1, 0, [](Rng&) { uint32_t s = 0; return IGN_GetState(&s) != 0; }},
    {"IGN_GetBatteryVoltage", kExchange, 1, 0, [](Rng&) { double v = 0; return IGN_GetBatteryVoltage(&v) != 0; }},
    {"IGN_GetSetting", kExchange, 5, 0, [](Rng&) { IgnSetting s{}; return IGN_GetSetting(&s, sizeof s) != 0; }},
    {"LED_SetCurrentDriving", kExchange, 1, 0, [](Rng& r) { return LED_SetCurrentDriving(1, Pick(r, 400)) != 0; }},
    {"SetupDICOS", kExchange, 4, kThreadStopMs + 20, [](Rng& r) { DicosSetup s{static_cast<uint16_t>(1 + Pick(r, 0xFFFF)), 0, 0}; return SetupDICOS(&s, sizeof s) != 0; }},
    {"StartDICOS", kExchange, 3, kThreadStopMs + 20, [](Rng&) { return StartDICOS() != 0; }},
    {"StopDICOS", kExchange, 2, kThreadStopMs + 20, [](Rng&) { return StopDICOS() != 0; }},
    {"SetUnitDTIO", kExchange, 1, 0, [](Rng& r) { return SetUnitDTIO(static_cast<uint16_t>(1 + Pick(r, 100)), 0) != 0; }},
    {"StartDTIO", kExchange, 2, 30, [](Rng&) { return StartDTIO() != 0; }},
    {"StopDTIO", kExchange, 2, 30, [](Rng&) { return StopDTIO() != 0; }},
    {"DT2_SetUnit", kExchange, 1, 0, [](Rng& r) { return DT2_SetUnit(1 + Pick(r, 100), 0) != 0; }},
    {"DT2_Start", kExchange, 1, 0, [](Rng&) { return DT2_Start() != 0; }},
    {"DT2_Stop", kExchange, 1, 0, [](Rng&) { return DT2_Stop() != 0; }},
    {"DT2_EiSendResult", kExchange, 1, 0, [](Rng& r) { return DT2_EiSendResult(static_cast<uint8_t>(Pick(r, 256)), 1) != 0; }},
    {"DT2_StPull", kLocal, 0, 2, [](Rng&) { uint32_t v = 0; return DT2_StPull(&v) != 0; }},
    {"DT2_StPush", kLocal, 0, 0, [](Rng& r) { return DT2_StPush(3, Pick(r, 4)) != 0; }},
    // The close waits for another thread's exchange on the port to end (by its time-out at the latest).
    {"StopDIO", kLocal, 0, kThreadStopMs + kExchangeMs, [](Rng&) { return StopDIO() != 0; }},
    {"SetWDT", kLocal, 0, 0, [](Rng&) { return SetWDT(200, 1) != 0; }},
    {"StartWDT", kLocal, 0, 0, [](Rng&) { return StartWDT() != 0; }},
    {"ResetWDT", kLocal, 0, 0, [](Rng&) { return ResetWDT() != 0; }},
    {"StopWDT", kLocal, 0, 0, [](Rng&) { return StopWDT() != 0; }},
    {"GetStatusPoEPort", kSmbus, 8, 0, [](Rng& r) { return GetStatusPoEPort(static_cast<uint8_t>(1 + Pick(r, 2))), true; }},
    {"EnablePoEPort", kSmbus, 8, 0, [](Rng& r) { return EnablePoEPort(static_cast<uint8_t>(1 + Pick(r, 2))) != 0; }},
    {"DisablePoEPort", kSmbus, 8, 0, [](Rng& r) { return DisablePoEPort(static_cast<uint8_t>(1 + Pick(r, 2))) != 0; }},
};
constexpr size_t kActionCount = std::size(kActions);

struct Options {
    double seconds = 10;
    unsigned threads = 4;
    bool faults = false;
    std::string model = "Trelo-11";
    uint32_t seed = 1;
};

// The call of a class that came closest to its bound (or went furthest past it).
struct Slowest {
    double ms = 0, bound = 0, excess = -1e9;
    const char* name = "";
};
struct Stats {
    std::mutex lock;
    uint64_t calls[kActionCount] = {}, fails[kActionCount] = {};
    Slowest slowest[kClasses];
    std::vector<std::string> findings;
} g_stats;

svc::Info g_info;
bool g_mcuDio = false;  // DIO carried by the MCU: its checked writes are exchanges
bool Has(svc::Group g) { return g_info.groups[g].family[0] != 0; }

double BoundOf(const Action& a) {
    if (a.cls == kChecked && g_mcuDio) return kExchangeMs;
    const double per[kClasses] = {kExchangeMs, kSmbusWaitMs, kCheckedMs, 0};
    return a.units * per[a.cls] + a.extraMs;
}

void Finding(const std::string& what) {
    std::fprintf(stderr, "FINDING: %s\n", what.c_str());
    std::lock_guard<std::mutex> hold(g_stats.lock);
    g_stats.findings.push_back(what);
}

// What each worker runs now, for the hang monitor: action index + 1 (0: none) and its start.
constexpr unsigned kMaxThreads = 64;
struct Running {
    std::atomic<size_t> action{0};
    std::atomic<Clock::rep> since{0};
    std::atomic<double> lockWaitMs{0};  // of the call so far; NaN while it waits for the lock
    bool reported = false;
} g_running[kMaxThreads];

void Worker(const Options& o, unsigned index, Clock::time_point end) {
    Rng r(o.seed * 7919u + index);
    t_publishedWaitMs = &g_running[index].lockWaitMs;
    while (Clock::now() < end) {
        const size_t i = Pick(r, kActionCount);
        const Action& a = kActions[i];
        t_lockWaitMs = 0;
        g_running[index].lockWaitMs = 0;
        const auto t0 = Clock::now();
        g_running[index].since = t0.time_since_epoch().count(), g_running[index].action = i + 1;
        const bool ok = a.run(r);
        g_running[index].action = 0;
        const double own = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() - t_lockWaitMs;
        const double bound = BoundOf(a);
        if (own > bound + kMarginMs) Finding(std::string(a.name) + " took " + std::to_string(own) + " ms, bound " + std::to_string(bound));
        std::lock_guard<std::mutex> hold(g_stats.lock);
        g_stats.calls[i]++, g_stats.fails[i] += !ok;
        if (own - bound > g_stats.slowest[a.cls].excess) g_stats.slowest[a.cls] = {own, bound, own - bound, a.name};
    }
}

// A call that does not return at all: reported once it is 5 s past its
// bound; the run is given up a minute after its end.
std::atomic<bool> g_done{false};
void HangMonitor(Clock::time_point end, unsigned threads) {
    while (!g_done) {
        Sleep(200);
        for (unsigned t = 0; t < threads; ++t) {
            const size_t i = g_running[t].action;
            const double waited = g_running[t].lockWaitMs;
            if (i == 0 || g_running[t].reported || std::isnan(waited)) continue;
            const double ms = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch() -
                                                                       Clock::duration(g_running[t].since.load())).count() - waited;
            if (ms > BoundOf(kActions[i - 1]) + kMarginMs + 5000)
                g_running[t].reported = true, Finding(std::string("hang: ") + kActions[i - 1].name + " has not returned after " + std::to_string(ms) + " ms");
        }
        if (Clock::now() > end + std::chrono::seconds(60)) {
            std::fprintf(stderr, "hx_soak: not finished a minute after the end (a call, the check round or the unload hangs)\n");
            std::_Exit(1);
        }
    }
}

// ---- faults and events -----------------------------------------------------------
enum Fault { kSilence, kGarbage, kWrongCode, kBadChecksum, kLate, kSplit, kStale, kBurst, kVanish, kStorm, kSmbusStuck, kFaults };
const char* const kFaultName[kFaults] = {"silence", "garbage", "wrong code", "bad checksum", "late answers", "split frames",
                                         "stale answers", "event bursts", "vanished port", "event storm", "SMBus stuck"};
std::atomic<uint64_t> g_faults[kFaults];
std::atomic<bool> g_linkAway{false};

void ArmMcu(const hx::sim::LinkFaultState& f) {
    hx::sim::EditLinks([&](hx::sim::SerialLinkState& s) { s.faults[static_cast<unsigned>(hx::sim::LinkRole::Mcu)] = f; });
}


// Events as the board raises them: input changes (DI change events while
// DICOS runs), CAN frames from a bus peer and bus-state reports. A storm
// adds raw MCU event frames, whatever runs.
void Events(Rng& r, uint32_t count, bool raw) {
    for (uint32_t k = 0; k < count; ++k) {
        const uint8_t codes[] = {0x30, 0x41, 0x61, 0x21};
        if (raw) hx::sim::EmitMcuEvent(codes[Pick(r, 4)], Pick(r, 0x10000));
        if (Has(svc::kCan)) svc::SendCanFromPeer({0x200 + Pick(r, 0x100), 0, 8, {}});
        if (Has(svc::kCan) && Pick(r, 50) == 0) svc::SetCanBusState(static_cast<svc::CanBusState>(Pick(r, 3)));
        if (g_info.diLines) svc::SetBoardInput(Pick(r, g_info.diLines), Pick(r, 2));
    }
}

void FaultThread(const Options& o, Clock::time_point end) {
    Rng r(o.seed * 104729u);
    while (Clock::now() < end) {
        const Fault kind = static_cast<Fault>(Pick(r, kFaults));
        hx::sim::LinkFaultState f{};
        const uint32_t n = 1 + Pick(r, 4);
        f.passAnswers = Pick(r, 3);
        switch (kind) {
            case kSilence: f.dropAnswers = n; break;
            case kGarbage: f.noiseBefore = n, f.noiseBytes = 1 + Pick(r, 40); break;
            case kWrongCode: f.otherCode = n; break;
            case kBadChecksum: f.corruptChecksum = n; break;
            case kLate: f.delayAnswers = n, f.delayMs = 500 + Pick(r, 1200); break;
            case kSplit: f.splitChunk = 1 + Pick(r, 6), f.splitGapMs = Pick(r, 15); break;
            case kStale: f.staleBefore = n; break;
            case kBurst: f.burstAround = n, f.burstCode = 0x61, f.burstSplitAt = Pick(r, 22), f.splitGapMs = Pick(r, 5); break;
            case kVanish:
                hx::sim::TakeLinkAway(hx::sim::LinkRole::Mcu), g_linkAway = true;
                Sleep(50 + Pick(r, 1500));
                hx::sim::PlugLinkBack(hx::sim::LinkRole::Mcu), g_linkAway = false;
                StopDIO();  // what an application does once its calls fail: give the port up, the next call finds it again
                break;
            case kStorm: Events(r, 50 + Pick(r, 200), true); break;
            case kSmbusStuck:
                svc::SetSmbusFaults({true, false, false, 0});
                Sleep(Pick(r, 1500));
                svc::SetSmbusFaults({});
                break;
            case kFaults: break;
        }
        g_faults[kind]++;
        ArmMcu(f);
        Sleep(Pick(r, 400));
        ArmMcu({});  // the split state is a mode, not a count: every fault ends before the next
    }
}

// Events flow in every mode: input changes and CAN frames from a bus peer.
void EventThread(const Options& o, Clock::time_point end) {
    Rng r(o.seed * 15485863u);
    while (Clock::now() < end) {
        Events(r, 1, false);
        Sleep(2 + Pick(r, 8));
    }
}

// ---- the check round ---------------------------------------------------------------
template <typename Pred>
bool Within(uint32_t ms, Pred pred) {
    for (uint32_t waited = 0; waited < ms; waited += 5, Sleep(5)) {
        if (pred()) return true;
    }
    return pred();
}

struct Check {
    svc::Group group;
    const char* name;
    bool (*run)();
};
const Check kChecks[] = {
    {svc::kMcu, "MCU version reads the firmware's word", [] {
         uint32_t v = 0;
         return MCU_GetVersion(&v) && v == svc::GetBoardMcu().versionWord;
     }},
    {svc::kDio, "DI reads what the board drives", [] {
         InitDIO();
         const bool on = svc::SetBoardInput(0, true) && (DIReadPort() & 1) == 1;
         return svc::SetBoardInput(0, false) && on && (DIReadPort() & 1) == 0;
     }},
    {svc::kCan, "a CAN frame loops back", [] {
         uint32_t setup[4] = {1, 0, 0, 0};
         CanMessage m = Message(kMarkId);
         const uint32_t before = g_canMarks;
         return CAN_Setup(0, setup, sizeof setup) && CAN_Start(0) && CAN_Send(0, &m, sizeof m) &&
                Within(1000, [&] { return g_canMarks > before; });
     }},
    {svc::kDicos, "a DI change reaches the DICOS callback", [] {
         DicosSetup s{0xFFFF, 0, 0};
         const uint32_t before = g_diEvents;
         return svc::SetBoardInput(1, false) && SetupDICOS(&s, sizeof s) && StartDICOS() && svc::SetBoardInput(1, true) &&
                Within(1000, [&] { return g_diEvents > before; }) && svc::SetBoardInput(1, false) && StopDICOS();
     }},
    {svc::kPoe, "PoE port 1 powers on and off", [] {
         // A host that was stuck busy still holds the transaction it was
         // given then; the first status read lets it finish (seen on P2
         // under TSan: the enable right after it could fail).
         (void)GetStatusPoEPort(1);
         const bool on = EnablePoEPort(1) && GetStatusPoEPort(1) == 1 && svc::GetBoardPoePort(1).powered;
         return DisablePoEPort(1) && on && GetStatusPoEPort(1) == 0 && !svc::GetBoardPoePort(1).powered;
     }},
    {svc::kWdt, "the watchdog arms and disarms", [] {
         InitWDT();
         const bool armed = SetWDT(200, 1) && StartWDT() && svc::GetBoardStatus().superIoCounting;
         return StopWDT() && armed && !svc::GetBoardStatus().superIoCounting;
     }},
    {svc::kIgn, "the ignition state reads", [] { uint32_t s = 0; return IGN_GetState(&s) != 0; }},
    {svc::kQei, "the encoder position is set and read", [] {
         uint32_t p = 0;
         return QEI_Stop(1) && QEI_SetPosition(0, 1234) && QEI_GetPosition(0, &p) && p == 1234;
     }},
    {svc::kDt2, "the DT2 unit is taken", [] { return DT2_SetUnit(7, 0) && DT2_GetUnit() == 7; }},
};

// Faults off, late answers drained, the port given up and found again.
uint32_t CheckRound() {
    ArmMcu({});
    svc::SetSmbusFaults({});
    if (g_linkAway) hx::sim::PlugLinkBack(hx::sim::LinkRole::Mcu);
    Sleep(2000);
    StopDTIO(), DT2_Stop(), CAN_Stop(0), StopDICOS(), StopDIO();
    uint32_t failed = 0;
    for (const Check& c : kChecks) {
        if (!Has(c.group)) continue;
        const bool ok = c.run();
        std::printf("check %-45s %s\n", c.name, ok ? "ok" : "FAILED");
        if (!ok) Finding(std::string("after the faults: ") + c.name + " failed"), ++failed;
    }
    return failed;
}

// ---- report ------------------------------------------------------------------------
void WriteReport(const Options& o, const char* command) {
    const char* dir = std::getenv("HX_REPORT_DIR");
    if (!dir || !*dir) return;
    mkdir(dir, 0777);
    const std::string id = o.faults ? "R3" : "R5";
    FILE* f = std::fopen((std::string(dir) + "/" + id + ".json").c_str(), "w");
    if (!f) return;
    std::fprintf(f, "{\"id\": \"%s\", \"title\": \"%s\", \"family\": \"hardening\",\n \"command\": \"%s\",\n \"findings\": %zu,\n \"rows\": [\n",
                 id.c_str(), o.faults ? "Fault soak of the virtual MCU" : "Races: mixed exports with receive threads running", command,
                 g_stats.findings.size());
    std::fprintf(f, "  {\"measure\": \"model\", \"value\": \"%s\"},\n  {\"measure\": \"threads\", \"value\": %u, \"unit\": \"threads\"},\n"
                    "  {\"measure\": \"seconds\", \"value\": %g, \"unit\": \"s\"},\n  {\"measure\": \"seed\", \"value\": %u}",
                 o.model.c_str(), o.threads, o.seconds, o.seed);
    uint64_t perClass[kClasses] = {};
    for (size_t i = 0; i < kActionCount; ++i) perClass[kActions[i].cls] += g_stats.calls[i];
    for (int c = 0; c < kClasses; ++c) {
        std::fprintf(f, ",\n  {\"measure\": \"%s calls\", \"value\": %llu, \"unit\": \"calls\"}", kClassName[c],
                     static_cast<unsigned long long>(perClass[c]));
        const Slowest& s = g_stats.slowest[c];
        if (s.name[0])
            std::fprintf(f, ",\n  {\"measure\": \"slowest %s call (%s)\", \"value\": %.1f, \"unit\": \"ms\", \"bound\": %.0f, \"ok\": %s}",
                         kClassName[c], s.name, s.ms, s.bound, s.ms <= s.bound + kMarginMs ? "true" : "false");
    }
    for (int k = 0; k < kFaults && o.faults; ++k)
        std::fprintf(f, ",\n  {\"measure\": \"faults injected: %s\", \"value\": %llu, \"unit\": \"faults\"}", kFaultName[k],
                     static_cast<unsigned long long>(g_faults[k].load()));
    std::fprintf(f, ",\n  {\"measure\": \"callbacks: CAN received / DI change / status\", \"value\": \"%u / %u / %u\"}\n ]}\n",
                 g_canRx.load(), g_diEvents.load(), g_statusEvents.load());
    std::fclose(f);
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--faults") o.faults = true;
        else if (a == "--seconds" && more) o.seconds = std::atof(argv[++i]);
        else if (a == "--threads" && more) o.threads = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
        else if (a == "--model" && more) o.model = argv[++i];
        else if (a == "--seed" && more) o.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        else return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o) || o.threads > kMaxThreads) {
        std::fprintf(stderr, "usage: hx_soak [--seconds N] [--threads T] [--faults] [--model NAME] [--seed S]\n");
        return 2;
    }
    if (svc::LoadOnVirtualBoard(o.model.c_str()) != svc::Load::Open) {
        std::fprintf(stderr, "hx_soak: cannot load the virtual board %s\n", o.model.c_str());
        return 2;
    }
    g_info = svc::GetInfo();
    const std::string dio = g_info.groups[svc::kDio].family;
    g_mcuDio = dio == "D7" || dio == "D8" || dio == "D12";
    std::printf("hx_soak: model %s, %u threads, %g s, faults %s, seed %u\n", o.model.c_str(), o.threads, o.seconds,
                o.faults ? "on" : "off", o.seed);
    CAN_RegisterReceived(0, OnCan), CAN_RegisterStatus(0, OnStatus), RegisterCallbackDICOS(OnDi), PWM_RegisterStatus(OnPwm);
    InitDIO(), InitWDT();
    DicosSetup every{0xFFFF, 0, 0};
    SetupDICOS(&every, sizeof every), StartDICOS(), CAN_Start(0);  // the receive threads run from the start

    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(static_cast<long>(o.seconds * 1000));
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < o.threads; ++t) threads.emplace_back(Worker, std::cref(o), t, end);
    threads.emplace_back(EventThread, std::cref(o), end);
    if (o.faults) threads.emplace_back(FaultThread, std::cref(o), end);
    std::thread monitor(HangMonitor, end, o.threads);
    for (std::thread& t : threads) t.join();

    const uint32_t failedChecks = CheckRound();
    const uint64_t total = std::accumulate(std::begin(g_stats.calls), std::end(g_stats.calls), uint64_t{0});
    std::printf("calls %llu; callbacks: CAN %u, DI %u, status %u\n", static_cast<unsigned long long>(total), g_canRx.load(),
                g_diEvents.load(), g_statusEvents.load());
    for (size_t i = 0; i < kActionCount; ++i)
        std::printf("%-22s %7llu calls %6llu failed\n", kActions[i].name, static_cast<unsigned long long>(g_stats.calls[i]),
                    static_cast<unsigned long long>(g_stats.fails[i]));
    for (int c = 0; c < kClasses; ++c)
        if (const Slowest& s = g_stats.slowest[c]; s.name[0])
            std::printf("slowest %-13s %-22s %8.1f ms (bound %.0f ms)\n", kClassName[c], s.name, s.ms, s.bound);
    std::string command = argv[0];
    for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
    WriteReport(o, command.c_str());
    CAN_Stop(0), StopDICOS();
    svc::Unload();
    g_done = true;
    monitor.join();
    std::printf("%zu findings (%u checks failed)\n", g_stats.findings.size(), failedChecks);
    return g_stats.findings.empty() ? 0 : 1;
}
