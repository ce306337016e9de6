// The receive thread's cost on the virtual MCU link, against the plainest
// handling of the same bytes on the same pseudo-terminal:
//   P2  McuQuery answered through a running receive thread (hand-over)
//       vs a raw 7-byte write and read of the same exchange;
//   P3  an event frame written by the firmware until the entry of the
//       registered callback vs a raw one-way read of the same frame.
// The raw sides run with the receive thread stopped, since the thread would
// otherwise take their bytes. Repetitions of both sides are interleaved at
// random; the ratio of the medians is printed.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "bench/report_json.h"
#include "bench/raw_link.h"
#include "core/backend.h"
#include "frame/lifecycle.h"
#include "halvex32.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/receiver.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;
using hx::bench::kRawWaitMs;
using hx::bench::LinkFd;
using hx::bench::ReadRaw;
using hx::bench::ReceiverRunning;
using Clock = std::chrono::steady_clock;

constexpr u8 kVersionQuery = 0xFF;
constexpr u8 kDiChangeEvent = 0x30;
constexpr u32 kDiChangePayload = 0x0001FFFE;
constexpr char kModel[] = "Trelo-11";  // MCU link with the 16-bit DI event receive thread

std::atomic<Clock::rep> g_callbackAt{0};

void HX_CALLBACK OnDiChange(DiEventRecord*) {
    g_callbackAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
}

bool BringUp() {
    if (!sim::SetUpBoard(kModel)) return false;
    UseBackend(sim::VirtualBackend());
    return ProcessAttach() && sim::StartBoardLinks() && OpenMcuLink(serialPortMcu) &&
           RegisterCallbackDICOS(OnDiChange);
}




void P2_QueryThroughReceiver(benchmark::State& state) {
    if (!ReceiverRunning(serialPortMcu, true)) state.SkipWithError("no receive thread");
    for (auto _ : state) {
        u32 word = 0;
        if (!McuQuery(kVersionQuery, &word)) state.SkipWithError("query failed");
        benchmark::DoNotOptimize(word);
    }
}

void P2_RawExchange(benchmark::State& state) {
    ReceiverRunning(serialPortMcu, false);
    u8 request[kFrameSize];
    BuildFrame(kVersionQuery, 0, request);
    for (auto _ : state) {
        u8 answer[kFrameSize];
        if (write(LinkFd(serialPortMcu), request, kFrameSize) != static_cast<ssize_t>(kFrameSize) || !ReadRaw(serialPortMcu, answer, kFrameSize)) {
            state.SkipWithError("no answer");
        }
        benchmark::DoNotOptimize(answer);
    }
}

// Each iteration is timed by hand from the write to the arrival.
void P3_EventToCallback(benchmark::State& state) {
    if (!ReceiverRunning(serialPortMcu, true)) state.SkipWithError("no receive thread");
    for (auto _ : state) {
        g_callbackAt.store(0);
        const Clock::time_point sent = Clock::now();
        if (!sim::EmitMcuEvent(kDiChangeEvent, kDiChangePayload)) state.SkipWithError("emit failed");
        Clock::rep at = 0;
        while ((at = g_callbackAt.load(std::memory_order_acquire)) == 0) {
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::duration(at) - sent.time_since_epoch()).count());
    }
}

void P3_RawEventRead(benchmark::State& state) {
    ReceiverRunning(serialPortMcu, false);
    for (auto _ : state) {
        u8 frame[kFrameSize];
        const Clock::time_point sent = Clock::now();
        if (!sim::EmitMcuEvent(kDiChangeEvent, kDiChangePayload) || !ReadRaw(serialPortMcu, frame, kFrameSize)) {
            state.SkipWithError("no event");
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - sent).count());
    }
}

BENCHMARK(P2_QueryThroughReceiver)->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(P2_RawExchange)->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(P3_EventToCallback)->UseManualTime()->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(P3_RawEventRead)->UseManualTime()->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);

}  // namespace

int main(int argc, char** argv) {
    if (!BringUp()) {
        std::fprintf(stderr, "the virtual MCU link could not be brought up\n");
        return 1;
    }
    hx::bench::SetRunCommand(argc, argv);
    hx::bench::MedianReporter reporter;
    hx::bench::RunInterleaved(argc, argv, reporter);
    std::printf("P2 McuQuery through the receive thread / raw 7-byte exchange: %.3fx (goal: within 1.5x)\n",
                reporter.Ratio("P2_QueryThroughReceiver", "P2_RawExchange"));
    std::printf("P3 event frame to callback / raw one-way read of the frame:   %.3fx (goal: within 1.5x)\n",
                reporter.Ratio("P3_EventToCallback", "P3_RawEventRead"));
    using hx::bench::kNsPerUs;
    hx::bench::ReportFile("P2", "McuQuery through the receive thread vs a raw 7-byte exchange", "mcu link")
        .Compare("McuQuery via receive thread / raw exchange", reporter.Median("P2_QueryThroughReceiver") / kNsPerUs,
                 reporter.Median("P2_RawExchange") / kNsPerUs, "us", hx::bench::AtMost(1.5))
        .Write();
    hx::bench::ReportFile("P3", "Event frame to callback vs a raw one-way read", "events")
        .Compare("event frame to callback / raw read of the frame", reporter.Median("P3_EventToCallback") / kNsPerUs,
                 reporter.Median("P3_RawEventRead") / kNsPerUs, "us", hx::bench::AtMost(1.5))
        .Write();
    ReceiverRunning(serialPortMcu, false);
    ProcessDetach();
    sim::StopBoardLinks();
    return 0;
}
