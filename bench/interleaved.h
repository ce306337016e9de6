// What every benchmark of this folder shares: the registered benchmarks run
// with their repetitions interleaved at random, so that a change of load on
// the machine falls on both sides of a comparison alike, and the medians are
// kept for the ratios each program prints.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace hx::bench {

// HX_BENCH_QUICK=1 (scripts/bench --quick): a short run for trying the
// report pipeline, its figures too noisy to publish.
inline bool Quick() {
    const char* quick = std::getenv("HX_BENCH_QUICK");
    return quick != nullptr && *quick != '\0' && *quick != '0';
}
// A count of iterations or repetitions, a tenth of it (at least 3) in a quick run.
inline int Scaled(int count) { return Quick() ? std::max(3, count / 10) : count; }

// Many short repetitions of each side, so that the interleaving mixes them.
inline const int kRepetitions = Scaled(15);
inline const double kMinSeconds = Quick() ? 0.05 : 0.2;

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string& name = r.run_name.function_name;
            if (r.aggregate_name == "median") {
                medians_[name] = r.GetAdjustedRealTime();
                for (const auto& [key, counter] : r.counters) counters_[name][key] = counter.value;
            } else if (r.aggregate_name.empty() && r.repetitions <= 1) {  // a single run stands for itself
                for (const auto& [key, counter] : r.counters) counters_[name][key] = counter.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Median(const std::string& name) { return medians_[name]; }
    // Median of `a` over median of `b`; 0 when either is missing.
    double Ratio(const std::string& a, const std::string& b) {
        const double x = Median(a), y = Median(b);
        return x > 0 && y > 0 ? x / y : 0;
    }

    // A counter of a benchmark: its median over the repetitions, or its
    // value when the benchmark ran once; 0 when missing.
    double Counter(const std::string& name, const std::string& key) { return counters_[name][key]; }

private:
    std::map<std::string, double> medians_;
    std::map<std::string, std::map<std::string, double>> counters_;
};

// The median of timings taken by hand (sorts them).
inline double MedianOf(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Takes the command line, with the repetitions interleaved at random.
inline void InitializeInterleaved(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
}

// One side of a comparison: a call (or a batch of calls) timed by hand, in
// nanoseconds; negative when it failed.
using TimedSide = double (*)();

// One side on its own: each iteration takes the time the side measured.
inline void Timed(benchmark::State& state, TimedSide side) {
    for (auto _ : state) {
        const double ns = side();
        if (ns < 0) state.SkipWithError("the call failed");
        state.SetIterationTime(ns / 1e9);
    }
}

// Both sides alternately, call by call, so that whatever else the machine
// does falls on both alike; the ratio of their medians (a over b) goes to
// `ratio` and to the benchmark's counters.
inline void Paired(benchmark::State& state, TimedSide a, TimedSide b, double* ratio) {
    std::vector<double> as, bs;
    for (auto _ : state) {
        const double x = a(), y = b();
        if (x < 0 || y < 0) state.SkipWithError("a call failed");
        as.push_back(x);
        bs.push_back(y);
        state.SetIterationTime((x + y) / 1e9);
    }
    const double x = MedianOf(as), y = MedianOf(bs);
    *ratio = y > 0 ? x / y : 0;
    state.counters["a_ns"] = x;
    state.counters["b_ns"] = y;
    state.counters["ratio"] = *ratio;
}

// Runs the registered benchmarks, repetitions interleaved at random.
inline void RunInterleaved(int argc, char** argv, MedianReporter& reporter) {
    InitializeInterleaved(argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
}

// After InitializeInterleaved: runs the benchmarks whose names match the
// regular expression `pattern` (a program whose sides need different set-ups
// runs them in phases).
inline void RunMatching(MedianReporter& reporter, const std::string& pattern) {
    benchmark::RunSpecifiedBenchmarks(&reporter, pattern);
}

}  // namespace hx::bench
