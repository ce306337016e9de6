// McuQuery round trip through the library against the plainest possible
// exchange on the same pseudo-terminal and the same firmware: write the 7
// request bytes, wait for and read the 7 answer bytes. Prints the ratio of
// the two medians.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/interleaved.h"
#include "bench/report_json.h"
#include "core/backend.h"
#include "frame/lifecycle.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;

constexpr u8 kVersionQuery = 0xFF;
constexpr char kModel[] = "Trelo-11";

bool BringUp() {
    if (!sim::SetUpBoard(kModel)) return false;
    UseBackend(sim::VirtualBackend());
    return ProcessAttach() && sim::StartBoardLinks() && OpenMcuLink(serialPortMcu);
}

void LibraryQuery(benchmark::State& state) {
    u32 word = 0;
    for (auto _ : state) {
        word = 0;
        if (!McuQuery(kVersionQuery, &word)) state.SkipWithError("query failed");
        benchmark::DoNotOptimize(word);
    }
}

// The same exchange by hand on the library's own descriptor.
bool RawOnce() {
    const int fd = static_cast<int>(serialPortMcu.comHandle.load() - 1);
    u8 request[kFrameSize];
    BuildFrame(kVersionQuery, 0, request);
    u8 answer[kFrameSize];
    if (write(fd, request, kFrameSize) != static_cast<ssize_t>(kFrameSize)) return false;
    u32 got = 0;
    while (got < kFrameSize) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return false;
        const ssize_t n = read(fd, answer + got, kFrameSize - got);
        if (n > 0) got += static_cast<u32>(n);
    }
    benchmark::DoNotOptimize(answer);
    return true;
}

bool LibraryOnce() {
    u32 word = 0;
    const bool ok = McuQuery(kVersionQuery, &word);
    benchmark::DoNotOptimize(word);
    return ok;
}

void RawExchange(benchmark::State& state) {
    for (auto _ : state) {
        if (!RawOnce()) state.SkipWithError("no answer");
    }
}

// Both exchanges alternately, each timed on its own, so that whatever else
// the machine does falls on both alike; the ratio of the medians is the
// figure of merit.
double g_pairedRatio = 0, g_pairedLibrary = 0, g_pairedRaw = 0;
void Paired(benchmark::State& state) {
    std::vector<double> library, raw;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool a = LibraryOnce();
        const auto t1 = std::chrono::steady_clock::now();
        const bool b = RawOnce();
        const auto t2 = std::chrono::steady_clock::now();
        if (!a || !b) state.SkipWithError("exchange failed");
        library.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
        raw.push_back(std::chrono::duration<double, std::nano>(t2 - t1).count());
    }
    const double l = hx::bench::MedianOf(library), r = hx::bench::MedianOf(raw);
    state.counters["library_ns"] = l;
    state.counters["raw_ns"] = r;
    state.counters["ratio"] = r > 0 ? l / r : 0;
    g_pairedRatio = r > 0 ? l / r : 0;
    g_pairedLibrary = l, g_pairedRaw = r;
}

// Many short repetitions, interleaved at random (see main), so that a load
// change on the machine hits both sides alike.
BENCHMARK(LibraryQuery)->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(RawExchange)->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(Paired)->Iterations(hx::bench::Scaled(20000));

}  // namespace

int main(int argc, char** argv) {
    if (!BringUp()) {
        std::fprintf(stderr, "the virtual MCU link could not be brought up\n");
        return 1;
    }
    hx::bench::SetRunCommand(argc, argv);
    hx::bench::MedianReporter reporter;
    hx::bench::RunInterleaved(argc, argv, reporter);
    const double library = reporter.Median("LibraryQuery");
    const double raw = reporter.Median("RawExchange");
    if (library > 0 && raw > 0) {
        std::printf("McuQuery / raw 7-byte exchange, separate runs: %.3fx\n", library / raw);
    }
    std::printf("McuQuery / raw 7-byte exchange, alternating:   %.3fx (goal: within 1.15x)\n", g_pairedRatio);
    using hx::bench::kNsPerUs;
    hx::bench::ReportFile("P1", "McuQuery vs a raw 7-byte exchange on the same pty", "mcu link")
        .Compare("McuQuery / raw exchange, alternating", g_pairedLibrary / kNsPerUs, g_pairedRaw / kNsPerUs, "us",
                 hx::bench::AtMost(1.15), g_pairedRatio)
        .Compare("McuQuery / raw exchange, separate runs", library / kNsPerUs, raw / kNsPerUs, "us",
                 hx::bench::NoGoal())
        .Write();
    ProcessDetach();
    sim::StopBoardLinks();
    return 0;
}
