// The CAN data link through the library, against the plainest handling of
// the same bytes on the same pseudo-terminal:
//   P4  CAN_Send frames/s vs a raw 16-byte write loop (unpaced terminal);
//       then on the link paced at its wire rate (921600 baud, 11 bits a
//       character: 5,236 frames/s), CAN_Send's sustained rate and the rate at
//       which a bus load at the wire rate reaches the received callback;
//   P5  a 100,000-frame burst from the virtual bus into the received
//       callback (lost and reordered frames counted by the sequence numbers
//       the load carries) vs a raw read loop of 16-byte reads, with the
//       receive thread stopped; a raw loop of 4 KB reads is shown for scale.
// Ratios are library rate over raw rate, medians of alternating runs.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
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
#include "sim/board_links.h"
#include "sim/firmware/can_controller.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace {

using namespace hx;
using Clock = std::chrono::steady_clock;

constexpr char kModel[] = "Trelo-11";  // CAN link at 921600 baud
constexpr u32 kBatch = 256;             // P4: frames per timed batch
constexpr u32 kBurstFrames = 100000;    // P5
constexpr u32 kLoadId = 0x0F0;
constexpr u32 kRawChunk = 4096;
constexpr int kWaitMs = 30000;
constexpr int kLookMs = 5;
constexpr u32 kPacedWarmUpMs = 1500;  // the terminal's buffers fill up first
constexpr double kWindowSeconds = 2;
// The terminal wakes a blocked writer when a few kilobytes have room, so
// CAN_Send completes in steps of up to a few hundred frames: a longer
// window keeps them small against the count.
constexpr double kSendWindowSeconds = 4;

double NsSince(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

int CanFd() { return static_cast<int>(serialPortCan.comHandle.load() - 1); }

template <typename Fn>
void OnBus(Fn&& fn) {
    sim::EditLinks(fn);
    sim::KickLinks();
}

u32 TakenFromLibrary() {
    u32 n = 0;
    sim::EditLinks([&](sim::SerialLinkState& s) { n = s.can.framesReceived; });
    return n;
}

u32 WireRate() { return sim::CanWireFramesPerSecond(sim::LinkUart(sim::LinkRole::Can).baud); }

void SetPaced(bool paced) {
    OnBus([&](sim::SerialLinkState& s) { s.can.paced = paced; });
}

// Until the controller has taken `count` frames and the queue to the
// library is empty.
bool Settle(u32 count) {
    for (int i = 0; i < kWaitMs; ++i) {
        bool idle = false;
        sim::EditLinks([&](sim::SerialLinkState& s) {
            idle = s.can.framesReceived >= count && sim::CanQueuedBytes(s.can) == 0 && s.can.load.burstLeft == 0;
        });
        if (idle) return true;
        usleep(1000);
    }
    return false;
}

// ---- P4: sending ------------------------------------------------------------------

CanMessage g_message{0x123, 0, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}};
u32 g_sent = 0;

double SendBatch() {
    const Clock::time_point t0 = Clock::now();
    for (u32 i = 0; i < kBatch; ++i) {
        if (!CAN_Send(0, &g_message, sizeof g_message)) return -1;
    }
    g_sent += kBatch;
    return NsSince(t0);
}

bool RawWrite(const u8* bytes, u32 count) {
    u32 done = 0;
    while (done < count) {
        const ssize_t n = write(CanFd(), bytes + done, count - done);
        if (n > 0) {
            done += static_cast<u32>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{CanFd(), POLLOUT, 0};
            if (poll(&p, 1, kWaitMs) <= 0) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

double RawBatch() {
    u8 frame[kCanFrameSize];
    EncodeCanFrame(g_message, frame);
    const Clock::time_point t0 = Clock::now();
    for (u32 i = 0; i < kBatch; ++i) {
        if (!RawWrite(frame, kCanFrameSize)) return -1;
    }
    g_sent += kBatch;
    return NsSince(t0);
}

double g_p4Ratio = 0;
void P4_SendVsRawWrite(benchmark::State& state) {
    hx::bench::Paired(state, RawBatch, SendBatch, &g_p4Ratio);  // raw time over library time: rate ratio
    state.counters["send_fps"] = state.counters["b_ns"] > 0 ? kBatch * 1e9 / state.counters["b_ns"] : 0;
    state.counters["raw_fps"] = state.counters["a_ns"] > 0 ? kBatch * 1e9 / state.counters["a_ns"] : 0;
}

// CAN_Send from a thread of its own on the paced link, kept busy: once the
// terminal's buffers are full, the frames a second that CAN_Send completes
// and that the controller takes off the wire, over a window.
double g_p4Paced = 0, g_p4Wire = 0;
void P4_SendPaced(benchmark::State& state) {
    Settle(g_sent);
    SetPaced(true);
    std::atomic<bool> sending{true};
    std::atomic<u32> sent{0};
    std::thread sender([&] {
        while (sending.load(std::memory_order_relaxed) && CAN_Send(0, &g_message, sizeof g_message)) sent.fetch_add(1);
    });
    for (auto _ : state) {
        usleep(kPacedWarmUpMs * 1000);
        const u32 sent0 = sent.load(), taken0 = TakenFromLibrary();
        const Clock::time_point t0 = Clock::now();
        usleep(static_cast<useconds_t>(kSendWindowSeconds * 1e6));
        const u32 sent1 = sent.load(), taken1 = TakenFromLibrary();
        const double seconds = NsSince(t0) / 1e9;
        g_p4Paced = (sent1 - sent0) / seconds;
        g_p4Wire = (taken1 - taken0) / seconds;
        state.SetIterationTime(seconds);
    }
    sending.store(false);
    sender.join();
    g_sent += sent.load();
    SetPaced(false);
    Settle(g_sent);
    state.counters["send_fps"] = g_p4Paced;
    state.counters["taken_fps"] = g_p4Wire;
    state.counters["of_wire"] = g_p4Paced / WireRate();
    state.counters["taken_of_wire"] = g_p4Wire / WireRate();
}

// ---- P5 and the load: receiving ----------------------------------------------------

std::atomic<u32> g_received{0}, g_next{0}, g_lost{0}, g_reordered{0};
std::atomic<Clock::rep> g_lastAt{0};

u32 SequenceOf(const u8* data) {
    u32 s = 0;
    std::memcpy(&s, data, sizeof s);
    return s;
}

void Check(u32 sequence) {
    const u32 next = g_next.load(std::memory_order_relaxed);
    if (sequence > next) g_lost += sequence - next;
    if (sequence < next) ++g_reordered;
    else g_next.store(sequence + 1, std::memory_order_relaxed);
}

void HX_CALLBACK OnLoadFrame(CanMessage* m, u32) {
    Check(SequenceOf(m->data));
    g_lastAt.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    g_received.fetch_add(1, std::memory_order_release);
}

void StartBurst(u32 frames, u32 rate) {
    g_received = 0, g_next = 0;
    OnBus([&](sim::SerialLinkState& s) { sim::CanSetLoad(s.can, rate, frames, kLoadId); });
}

double BurstIntoCallback() {
    if (!bench::ReceiverRunning(serialPortCan, true)) return -1;
    const Clock::time_point t0 = Clock::now();
    StartBurst(kBurstFrames, 0);
    // The end is stamped by the callback: this thread looks only now and
    // then, to leave the two cores to the link host and the receive thread.
    for (int i = 0; i < kWaitMs / kLookMs && g_received.load(std::memory_order_acquire) < kBurstFrames; ++i) {
        usleep(kLookMs * 1000);
    }
    if (g_received.load() < kBurstFrames) return -1;
    return std::chrono::duration<double, std::nano>(Clock::duration(g_lastAt.load()) - t0.time_since_epoch()).count();
}

// The same burst read from the library's own descriptor, `chunk` bytes a
// read, frames checked as the callback checks them.
double BurstRawReads(u32 chunk) {
    if (!bench::ReceiverRunning(serialPortCan, false) || !Settle(0)) return -1;
    std::vector<u8> buffer(chunk + kCanFrameSize);
    u32 held = 0, frames = 0;
    const Clock::time_point t0 = Clock::now();
    StartBurst(kBurstFrames, 0);
    while (frames < kBurstFrames) {
        const ssize_t n = read(CanFd(), buffer.data() + held, chunk - held % kCanFrameSize);
        // A raw terminal with VMIN 0 answers 0 when nothing is waiting.
        if (n == 0 || (n < 0 && errno == EAGAIN)) {
            pollfd p{CanFd(), POLLIN, 0};
            if (poll(&p, 1, kWaitMs) <= 0) return -1;
            continue;
        }
        if (n < 0) return -1;
        held += static_cast<u32>(n);
        u32 at = 0;
        for (; held - at >= kCanFrameSize; at += kCanFrameSize, ++frames) {
            Check(SequenceOf(&buffer[at + kCanFrameData]));
        }
        std::memmove(buffer.data(), buffer.data() + at, held - at);
        held -= at;
    }
    return NsSince(t0);
}

double BurstRaw16() { return BurstRawReads(kCanFrameSize); }
double BurstRawChunk() { return BurstRawReads(kRawChunk); }

double g_p5Ratio = 0, g_p5Ratio4k = 0;
void P5_BurstIntoCallback(benchmark::State& state) {
    std::vector<double> library, raw, chunked;
    g_lost = g_reordered = 0;
    bool libraryFirst = true;
    for (auto _ : state) {
        // The order alternates, so that neither side always follows the other.
        double l = 0, r = 0;
        if (libraryFirst) l = BurstIntoCallback(), r = BurstRaw16();
        else r = BurstRaw16(), l = BurstIntoCallback();
        libraryFirst = !libraryFirst;
        const double c = BurstRawChunk();
        if (l < 0 || r < 0 || c < 0) state.SkipWithError("a burst did not arrive");
        library.push_back(l), raw.push_back(r), chunked.push_back(c);
        state.SetIterationTime((l + r + c) / 1e9);
    }
    bench::ReceiverRunning(serialPortCan, true);
    const double l = hx::bench::MedianOf(library), r = hx::bench::MedianOf(raw), c = hx::bench::MedianOf(chunked);
    state.counters["callback_fps"] = l > 0 ? kBurstFrames * 1e9 / l : 0;
    state.counters["raw16_fps"] = r > 0 ? kBurstFrames * 1e9 / r : 0;
    state.counters["raw4k_fps"] = c > 0 ? kBurstFrames * 1e9 / c : 0;
    g_p5Ratio = state.counters["ratio"] = l > 0 ? r / l : 0;
    g_p5Ratio4k = state.counters["ratio_4k"] = l > 0 ? c / l : 0;
    state.counters["lost"] = g_lost.load();
    state.counters["reordered"] = g_reordered.load();
}

// A load at the wire rate on the paced link: the frames a second that reach
// the callback over a window, after the first half second.
double g_loadRate = 0;
void P4_LoadAtWireRate(benchmark::State& state) {
    bench::ReceiverRunning(serialPortCan, true);
    SetPaced(true);
    for (auto _ : state) {
        StartBurst(0, WireRate());
        usleep(500000);
        const u32 first = g_received.load();
        const Clock::time_point t0 = Clock::now();
        usleep(static_cast<useconds_t>(kWindowSeconds * 1e6));
        const double seconds = NsSince(t0) / 1e9;
        g_loadRate = (g_received.load() - first) / seconds;
        state.SetIterationTime(seconds);
    }
    StartBurst(0, 0);
    SetPaced(false);
    state.counters["callback_fps"] = g_loadRate;
    state.counters["of_wire"] = g_loadRate / WireRate();
    state.counters["lost"] = g_lost.load();
}

BENCHMARK(P4_SendVsRawWrite)->Repetitions(hx::bench::kRepetitions)->ReportAggregatesOnly(true)->MinTime(hx::bench::kMinSeconds);
BENCHMARK(P4_SendPaced)->UseManualTime()->Iterations(1);
BENCHMARK(P4_LoadAtWireRate)->UseManualTime()->Iterations(1);
BENCHMARK(P5_BurstIntoCallback)->UseManualTime()->Iterations(hx::bench::Scaled(11));

// P4 (its ratio the median over the repetitions), P5, and the paced link
// against the wire rate.
void WriteReports(hx::bench::MedianReporter& reporter) {
    const char* p4 = "P4_SendVsRawWrite";
    hx::bench::ReportFile("P4", "CAN_Send vs a raw 16-byte write loop, unpaced terminal", "can")
        .Compare("CAN_Send / raw 16-byte writes (rate)", reporter.Counter(p4, "send_fps"),
                 reporter.Counter(p4, "raw_fps"), "frames/s", hx::bench::AtLeast(0.9), reporter.Counter(p4, "ratio"))
        .Write();
    const char* p5 = "P5_BurstIntoCallback";
    hx::bench::ReportFile("P5", "A 100,000-frame burst into the received callback vs raw reads", "can")
        .Compare("burst into the callback / raw 16-byte reads (rate)", reporter.Counter(p5, "callback_fps"),
                 reporter.Counter(p5, "raw16_fps"), "frames/s", hx::bench::AtLeast(0.8), g_p5Ratio)
        .Compare("burst into the callback / raw 4 KB reads (rate)", reporter.Counter(p5, "callback_fps"),
                 reporter.Counter(p5, "raw4k_fps"), "frames/s", hx::bench::NoGoal(), g_p5Ratio4k)
        .Bounded("frames lost", g_lost.load(), "frames", 0)
        .Bounded("frames reordered", g_reordered.load(), "frames", 0)
        .Write();
    const double wire = WireRate();
    hx::bench::ReportFile("can-paced", "The CAN link paced at 921600 baud, against its wire rate", "can")
        .Compare("CAN_Send sustained / wire rate", g_p4Paced, wire, "frames/s", hx::bench::AtLeast(0.99))
        .Compare("taken off the wire by the controller / wire rate", g_p4Wire, wire, "frames/s", hx::bench::NoGoal())
        .Compare("bus load at the wire rate into the callback / wire rate", g_loadRate, wire, "frames/s",
                 hx::bench::NoGoal())
        .Write();
}

bool BringUp() {
    if (!sim::SetUpBoard(kModel)) return false;
    UseBackend(sim::VirtualBackend());
    return ProcessAttach() && sim::StartBoardLinks() && CAN_RegisterReceived(0, OnLoadFrame) && CAN_Start(0);
}

}  // namespace

// Part of hx_bench_events (bench/events_bench.cpp), after the flags were read.
int RunCanBench() {
    if (!BringUp()) {
        std::fprintf(stderr, "the virtual CAN links could not be brought up\n");
        return 1;
    }
    hx::bench::MedianReporter reporter;
    hx::bench::RunMatching(reporter, "P4_SendVsRawWrite");
    hx::bench::RunMatching(reporter, "P4_SendPaced");
    hx::bench::RunMatching(reporter, "P4_LoadAtWireRate");
    hx::bench::RunMatching(reporter, "P5_BurstIntoCallback");
    const u32 wire = WireRate();
    std::printf("P4 CAN_Send / raw 16-byte write, unpaced terminal:      %.3fx (goal: at least 0.9x)\n", g_p4Ratio);
    std::printf("P4 CAN_Send on the link paced at the wire:              %.0f frames/s = %.1f %% of %u (goal: 99 %%);"
                " taken off the wire: %.1f %%\n",
                g_p4Paced, 100 * g_p4Paced / wire, wire, 100 * g_p4Wire / wire);
    std::printf("   bus load at the wire rate into the callback, paced: %.0f frames/s = %.1f %% of %u\n", g_loadRate,
                100 * g_loadRate / wire, wire);
    std::printf("P5 burst of %u into the callback / raw 16-byte reads:  %.3fx, lost %u, reordered %u "
                "(goal: at least 0.8x, 0 and 0)\n",
                kBurstFrames, g_p5Ratio, g_lost.load(), g_reordered.load());
    std::printf("   the same / raw 4 KB reads:                           %.3fx\n", g_p5Ratio4k);
    WriteReports(reporter);
    CAN_Stop(0);
    ProcessDetach();
    sim::StopBoardLinks();
    return 0;
}
