// P6: a client's SharedReadInputs round trip against the owner's direct
// input query, on the same virtual board. This process is the board and the
// owner (it holds the MCU port and runs the sharing server); a forked process
// is the client and times each of its round trips itself. Prints the ratio
// of the two medians.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/forked_client.h"
#include "bench/interleaved.h"
#include "bench/report_json.h"
#include "core/backend.h"
#include "core/library_lock.h"
#include "core/state.h"
#include "frame/lifecycle.h"
#include "mcu/frame.h"
#include "mcu/link.h"
#include "mcu/shared_link.h"
#include "os/posix/named_objects_posix.h"
#include "os/posix/shared_words_posix.h"
#include "sim/board_links.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;
using Clock = std::chrono::steady_clock;

constexpr char kModel[] = "Trelo-11";  // MCU DIO with the sharing server
constexpr u8 kDiRead = 0x35;
constexpr u32 kPathMax = 64;
constexpr double kFailed = -1;

hx::bench::ForkedClient g_client;

double NsSince(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

// The client: one timed round trip per byte it is sent, the time in
// nanoseconds back (kFailed when the owner did not answer).
[[noreturn]] void ClientLoop(int in, int out) {
    char path[kPathMax];
    if (read(in, path, kPathMax) != kPathMax) _exit(1);
    sim::PublishLinks(path, "");
    u32 word = kAllInputsRequest;
    ReadInputsShared(&word);  // finds the port taken and opens the channel
    for (char c; read(in, &c, 1) == 1;) {
        const auto t0 = Clock::now();
        const bool ok = SharedReadInputs(&word);
        const double ns = ok ? NsSince(t0) : kFailed;
        if (write(out, &ns, sizeof ns) != sizeof ns) break;
    }
    _exit(0);
}

double ClientRoundTrip() { return g_client.RoundTrip(kFailed); }

double OwnerQuery() {
    const auto t0 = Clock::now();
    LibraryLockGuard lock;
    u32 word = kAllInputsRequest;
    const bool ok = McuQuery(kDiRead, &word);
    return ok ? NsSince(t0) : kFailed;
}

void OwnerDirectQuery(benchmark::State& state) { hx::bench::Timed(state, OwnerQuery); }
void ClientSharedRead(benchmark::State& state) { hx::bench::Timed(state, ClientRoundTrip); }

double g_pairedRatio = 0;

// Fewer repetitions: each one crosses to the client process.
const int kClientRepetitions = hx::bench::Scaled(9);
BENCHMARK(OwnerDirectQuery)->UseManualTime()->Repetitions(kClientRepetitions)->ReportAggregatesOnly(true)
    ->MinTime(hx::bench::kMinSeconds);
BENCHMARK(ClientSharedRead)->UseManualTime()->Repetitions(kClientRepetitions)->ReportAggregatesOnly(true)
    ->MinTime(hx::bench::kMinSeconds);
// Both alternately (hx::bench::Paired), registered in main.
const int kPairedIterations = hx::bench::Scaled(5000);

// The client is forked before this process starts any thread.
bool BringUp() {
    const std::string suffix = std::to_string(getpid());
    os::SetSharedWordsName(("/halvex32-bench-" + suffix).c_str());
    os::SetSharedLinkName(("/halvex32-bench-link-" + suffix).c_str());
    if (!sim::SetUpBoard(kModel)) return false;
    UseBackend(sim::VirtualBackend());
    if (!ProcessAttach()) return false;
    if (!g_client.Fork(ClientLoop)) return false;
    // This process takes the port (and starts its server) before the client
    // learns where the port is.
    u32 word = kAllInputsRequest;
    if (!sim::StartBoardLinks() || !ReadInputsShared(&word) || !os::HandleIsOpen(sharedLink.serverThread.load())) {
        return false;
    }
    char path[kPathMax] = {};
    std::strncpy(path, sim::LinkPath(sim::LinkRole::Mcu), kPathMax - 1);
    return g_client.Send(path, kPathMax);
}

}  // namespace

int main(int argc, char** argv) {
    if (!BringUp()) {
        std::fprintf(stderr, "the virtual board, the owner or the client could not be brought up\n");
        return 1;
    }
    benchmark::RegisterBenchmark("Paired", hx::bench::Paired, ClientRoundTrip, OwnerQuery, &g_pairedRatio)
        ->UseManualTime()
        ->Iterations(kPairedIterations);
    hx::bench::SetRunCommand(argc, argv);
    hx::bench::MedianReporter reporter;
    hx::bench::RunInterleaved(argc, argv, reporter);
    const double owner = reporter.Median("OwnerDirectQuery");
    const double shared = reporter.Median("ClientSharedRead");
    if (owner > 0 && shared > 0) {
        std::printf("P6 client SharedReadInputs / owner's direct query, separate runs: %.3fx\n", shared / owner);
    }
    std::printf("P6 client SharedReadInputs / owner's direct query, alternating:   %.3fx (goal: within 2x)\n",
                g_pairedRatio);
    using hx::bench::kNsPerUs;
    hx::bench::ReportFile("P6", "A client's SharedReadInputs vs the owner's direct query", "mcu link")
        .Compare("client SharedReadInputs / owner's query, alternating",
                 reporter.Counter("Paired", "a_ns") / kNsPerUs, reporter.Counter("Paired", "b_ns") / kNsPerUs, "us",
                 hx::bench::AtMost(2), g_pairedRatio)
        .Compare("client SharedReadInputs / owner's query, separate runs", shared / kNsPerUs, owner / kNsPerUs, "us",
                 hx::bench::NoGoal())
        .Write();
    g_client.End();
    ProcessDetach();
    sim::StopBoardLinks();
    shm_unlink(os::SharedLinkName());
    shm_unlink(os::SharedWordsName());
    return 0;
}
