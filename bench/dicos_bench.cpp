// DI change of state, family by family (C1 on Trelo-05, C2 on Trelo-06, C3
// on Trelo-11): a field input of the virtual board changes, the firmware
// raises its event, and the time until the entry of the registered callback
// is taken, against a raw one-way read of the same event's bytes on the same
// pseudo-terminal (as P3 of mcu_receiver_bench.cpp). The raw side runs with
// the receive thread stopped and DICOS still running in the firmware, so both
// sides pay for the same firmware and transport. Repetitions of both sides
// are interleaved at random; the ratio of the medians is printed.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/interleaved.h"
#include "bench/report_json.h"
#include "bench/raw_link.h"
#include "core/backend.h"
#include "frame/lifecycle.h"
#include "halvex32.h"
#include "mcu/link.h"
#include "mcu/receiver.h"
#include "sim/dio_field.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;
using hx::bench::kRawWaitMs;
using hx::bench::LinkFd;
using hx::bench::ReadRaw;
using hx::bench::ReceiverRunning;
using Clock = std::chrono::steady_clock;

constexpr u32 kLine = 0;

struct Family {
    const char* name;
    const char* model;
    u32 eventBytes;  // an event frame, or a 3-byte DI message
};
constexpr Family kFamilies[] = {{"C1", "Trelo-05", 7}, {"C2", "Trelo-06", 3}, {"C3", "Trelo-11", 7}};
const Family* g_family = &kFamilies[0];

std::atomic<Clock::rep> g_callbackAt{0};
bool g_active = false;

void HX_CALLBACK OnDiChange(DiEventRecord*) {
    g_callbackAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
}

bool BringUp(const Family& f) {
    g_family = &f;
    g_active = false;
    if (!sim::SetUpBoard(f.model)) return false;
    UseBackend(sim::VirtualBackend());
    DicosSetup setup{1u << kLine, 0, 0};  // both edges of the line
    return ProcessAttach() && sim::StartBoardLinks() && RegisterCallbackDICOS(OnDiChange) &&
           SetupDICOS(&setup, sizeof setup) && StartDICOS();
}

void TakeDown() {
    ProcessDetach();
    sim::StopBoardLinks();
}



// The input toggles: each call raises one event.
Clock::time_point ChangeInput() {
    g_active = !g_active;
    const Clock::time_point at = Clock::now();
    sim::DriveFieldInput(kLine, g_active);
    return at;
}


void EventToCallback(benchmark::State& state) {
    if (!ReceiverRunning(serialPortMcu, true)) state.SkipWithError("no receive thread");
    for (auto _ : state) {
        g_callbackAt.store(0);
        const Clock::time_point sent = ChangeInput();
        Clock::rep at = 0;
        const Clock::time_point giveUp = sent + std::chrono::milliseconds(kRawWaitMs);
        while ((at = g_callbackAt.load(std::memory_order_acquire)) == 0 && Clock::now() < giveUp) {
        }
        if (at == 0) {
            state.SkipWithError("no callback");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(at) - sent.time_since_epoch()).count());
    }
}

void RawEventRead(benchmark::State& state) {
    ReceiverRunning(serialPortMcu, false);
    for (auto _ : state) {
        u8 bytes[16];
        const Clock::time_point sent = ChangeInput();
        if (!ReadRaw(serialPortMcu, bytes, g_family->eventBytes)) {
            state.SkipWithError("no event");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - sent).count());
    }
}

void Register(const Family& f) {
    using Side = std::pair<const char*, void (*)(benchmark::State&)>;
    for (auto [side, fn] : {Side{"_EventToCallback", EventToCallback}, Side{"_RawEventRead", RawEventRead}}) {
        benchmark::RegisterBenchmark((std::string(f.name) + side).c_str(), fn)
            ->UseManualTime()
            ->Repetitions(hx::bench::kRepetitions)
            ->ReportAggregatesOnly(true)
            ->MinTime(hx::bench::kMinSeconds);
    }
}

}  // namespace

// Part of hx_bench_events (bench/events_bench.cpp), after the flags were read.
int RunDicosBench() {
    for (const Family& f : kFamilies) Register(f);
    hx::bench::MedianReporter reporter;
    for (const Family& f : kFamilies) {
        if (!BringUp(f)) {
            std::fprintf(stderr, "DICOS could not be started on the virtual %s\n", f.model);
            return 1;
        }
        hx::bench::RunMatching(reporter, std::string("^") + f.name + "_");
        ReceiverRunning(serialPortMcu, false);
        TakeDown();
    }
    hx::bench::ReportFile report("dicos-latency", "DI change of state to callback vs a raw read of the event",
                                 "events");
    for (const Family& f : kFamilies) {
        const std::string name = f.name;
        report.Compare("DICOS " + name + " (" + f.model + ") input change to callback / raw read",
                       reporter.Median(name + "_EventToCallback") / hx::bench::kNsPerUs,
                       reporter.Median(name + "_RawEventRead") / hx::bench::kNsPerUs, "us", hx::bench::NoGoal());
        std::printf("DICOS %s (%s) input change to callback / raw one-way read of the event: %.3fx (%.1f us vs %.1f us)\n",
                    f.name, f.model, reporter.Ratio(name + "_EventToCallback", name + "_RawEventRead"),
                    reporter.Median(name + "_EventToCallback") / 1e3, reporter.Median(name + "_RawEventRead") / 1e3);
    }
    report.Write();
    return 0;
}
