// DIReadPort against what it stands on, three ratios in one run:
//  (a) a port-mapped family (Trelo-01, D1) / the bare read of the input
//      register at 604h through the same back-end;
//  (b) D7 (Trelo-11) by the direct way / the raw input query 35h under the
//      library lock;
//  (c) D7 in a client process (the shared way) / D7 by the direct way.
// The port-mapped pair runs first on a Trelo-01 board; then this process
// becomes the Trelo-11 board and the owner of its MCU port, and a forked
// process, with the library loaded on its own Trelo-11 board, is the client
// and times each of its calls itself. Each ratio is printed twice: from the
// medians of separate benchmarks with repetitions interleaved at random, and
// from one benchmark that alternates the two sides call by call.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/forked_client.h"
#include "bench/interleaved.h"
#include "bench/report_json.h"
#include "core/backend.h"
#include "core/hw_access.h"
#include "core/library_lock.h"
#include "frame/lifecycle.h"
#include "halvex32.h"
#include "mcu/frame.h"
#include "mcu/shared_link.h"
#include "os/posix/named_objects_posix.h"
#include "os/posix/shared_words_posix.h"
#include "sim/board_links.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;
using Clock = std::chrono::steady_clock;

constexpr char kPortMappedModel[] = "Trelo-01";  // D1: the GPIO byte block at 600h..605h
constexpr char kMcuModel[] = "Trelo-11";         // D7, with the sharing server
constexpr u16 kInputRegister = 0x604;
constexpr u8 kByte = 1;
constexpr u8 kDiRead = 0x35;
constexpr u16 kActive = 0x1234;  // the MCU's inputs: what a successful DIReadPort returns
constexpr u32 kPathMax = 64;
constexpr double kFailed = -1;
constexpr int kBatch = 256;  // port-mapped calls timed together (one call is near the clock's resolution)
const int kClientRepetitions = hx::bench::Scaled(9);  // each call of the client side crosses to another process

hx::bench::ForkedClient g_client;

double NsSince(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

// ---- the sides: one call (port-mapped: a batch) timed, kFailed when it failed

double PortMappedOnce() {
    const auto t0 = Clock::now();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(DIReadPort());
    return NsSince(t0);
}

double BareReadOnce() {
    const auto t0 = Clock::now();
    u32 value = 0;
    for (int i = 0; i < kBatch; ++i) {
        HwReadPort(kInputRegister, &value, kByte);
        benchmark::DoNotOptimize(value);
    }
    return NsSince(t0);
}

double DirectOnce() {
    const auto t0 = Clock::now();
    const bool ok = DIReadPort() == kActive;
    return ok ? NsSince(t0) : kFailed;
}

double RawQueryOnce() {
    const auto t0 = Clock::now();
    LibraryLockGuard lock;
    u32 word = kAllInputsRequest;
    const bool ok = McuQuery(kDiRead, &word);
    return ok ? NsSince(t0) : kFailed;
}

double ClientOnce() { return g_client.RoundTrip(kFailed); }

// The client: one timed DIReadPort per byte it is sent, the time back.
[[noreturn]] void ClientLoop(int in, int out) {
    char path[kPathMax];
    if (!sim::SetUpBoard(kMcuModel) || (UseBackend(sim::VirtualBackend()), !ProcessAttach())) _exit(1);
    if (read(in, path, kPathMax) != kPathMax) _exit(1);
    sim::PublishLinks(path, "");
    DIReadPort();  // finds the port taken and opens the channel
    for (char c; read(in, &c, 1) == 1;) {
        const auto t0 = Clock::now();
        const bool ok = DIReadPort() == kActive;
        const double ns = ok ? NsSince(t0) : kFailed;
        if (write(out, &ns, sizeof ns) != sizeof ns) break;
    }
    ProcessDetach();
    _exit(0);
}

// ---- benchmarks ---------------------------------------------------------------

struct Ratio {
    const char* what;
    const char* a;  // benchmark names of the two sides
    const char* b;
    const char* goal;
    double alternating;
    const char* paired;  // the benchmark that alternates them
    double limit;        // the goal, as a number
    int calls;           // calls a timed side makes
};

Ratio g_ratios[] = {
    {"(a) DIReadPort, port-mapped D1 / bare read of 604h", "PortMapped_DIReadPort", "PortMapped_BareRead", "1.2x", 0,
     "PortMapped_Paired", 1.2, kBatch},
    {"(b) DIReadPort, D7 direct / raw 35h query", "Mcu_DIReadPortDirect", "Mcu_RawQuery", "1.15x", 0,
     "Mcu_DirectPaired", 1.15, 1},
    {"(c) DIReadPort, D7 client / D7 direct", "Mcu_DIReadPortClient", "Mcu_DIReadPortDirect", "2x", 0,
     "Mcu_ClientPaired", 2, 1},
};

void Register(const char* name, double (*once)(), int repetitions) {
    benchmark::RegisterBenchmark(name, hx::bench::Timed, once)
        ->UseManualTime()
        ->Repetitions(repetitions)
        ->ReportAggregatesOnly(true)
        ->MinTime(hx::bench::kMinSeconds);
}

void RegisterAll() {
    Register("PortMapped_DIReadPort", PortMappedOnce, hx::bench::kRepetitions);
    Register("PortMapped_BareRead", BareReadOnce, hx::bench::kRepetitions);
    benchmark::RegisterBenchmark("PortMapped_Paired", hx::bench::Paired, PortMappedOnce, BareReadOnce, &g_ratios[0].alternating)
        ->UseManualTime()->Iterations(hx::bench::Scaled(20000));
    Register("Mcu_DIReadPortDirect", DirectOnce, kClientRepetitions);
    Register("Mcu_RawQuery", RawQueryOnce, kClientRepetitions);
    Register("Mcu_DIReadPortClient", ClientOnce, kClientRepetitions);
    benchmark::RegisterBenchmark("Mcu_DirectPaired", hx::bench::Paired, DirectOnce, RawQueryOnce, &g_ratios[1].alternating)
        ->UseManualTime()->Iterations(hx::bench::Scaled(5000));
    benchmark::RegisterBenchmark("Mcu_ClientPaired", hx::bench::Paired, ClientOnce, DirectOnce, &g_ratios[2].alternating)
        ->UseManualTime()->Iterations(hx::bench::Scaled(5000));
}

// ---- boards -------------------------------------------------------------------

bool LoadBoard(const char* model) {
    if (!sim::SetUpBoard(model)) return false;
    UseBackend(sim::VirtualBackend());
    return ProcessAttach();
}

// This process takes the MCU port (and starts its server) before the client
// learns where the port is.
bool BecomeMcuOwner() {
    ProcessDetach();
    if (!LoadBoard(kMcuModel) || !sim::StartBoardLinks()) return false;
    sim::EditLinks([](sim::SerialLinkState& s) { s.mcu.diActive = kActive; });
    if (DIReadPort() != kActive || !os::HandleIsOpen(sharedLink.serverThread.load())) return false;
    char path[kPathMax] = {};
    std::strncpy(path, sim::LinkPath(sim::LinkRole::Mcu), kPathMax - 1);
    return g_client.Send(path, kPathMax);
}

// P8: the figures per call, in nanoseconds.
void WriteReport(hx::bench::MedianReporter& reporter) {
    hx::bench::ReportFile report("P8", "DIReadPort against what it stands on", "dio");
    for (const Ratio& r : g_ratios) {
        const std::string what = r.what;
        report.Compare(what + ", alternating", reporter.Counter(r.paired, "a_ns") / r.calls,
                       reporter.Counter(r.paired, "b_ns") / r.calls, "ns", hx::bench::AtMost(r.limit), r.alternating);
        report.Compare(what + ", separate runs", reporter.Median(r.a) / r.calls, reporter.Median(r.b) / r.calls, "ns",
                       hx::bench::NoGoal());
    }
    report.Write();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string suffix = std::to_string(getpid());
    os::SetSharedWordsName(("/halvex32-bench-dio-" + suffix).c_str());
    os::SetSharedLinkName(("/halvex32-bench-dio-link-" + suffix).c_str());
    // The client is forked before this process starts any thread.
    if (!g_client.Fork(ClientLoop) || !LoadBoard(kPortMappedModel)) {
        std::fprintf(stderr, "the client or the port-mapped board could not be brought up\n");
        return 1;
    }
    RegisterAll();
    hx::bench::SetRunCommand(argc, argv);
    hx::bench::MedianReporter reporter;
    hx::bench::InitializeInterleaved(argc, argv);
    hx::bench::RunMatching(reporter, "^PortMapped_");
    if (!BecomeMcuOwner()) {
        std::fprintf(stderr, "the MCU board, its owner or the client could not be brought up\n");
        return 1;
    }
    hx::bench::RunMatching(reporter, "^Mcu_");
    for (const Ratio& r : g_ratios) {
        std::printf("%s: separate runs %.3fx, alternating %.3fx (goal: within %s)\n", r.what, reporter.Ratio(r.a, r.b),
                    r.alternating, r.goal);
    }
    WriteReport(reporter);
    g_client.End();
    ProcessDetach();
    sim::StopBoardLinks();
    shm_unlink(os::SharedLinkName());
    shm_unlink(os::SharedWordsName());
    return 0;
}
