// The event-driven MCU features in one run: P4 and P5 (CAN send and a
// receive burst) and the DICOS event latency per family, each printed as a
// ratio to the raw pseudo-terminal loop that does the same.
#include "bench/interleaved.h"
#include "bench/report_json.h"

int RunCanBench();    // bench/can_bench.cpp
int RunDicosBench();  // bench/dicos_bench.cpp

int main(int argc, char** argv) {
    hx::bench::SetRunCommand(argc, argv);
    hx::bench::InitializeInterleaved(argc, argv);
    const int can = RunCanBench();
    const int dicos = RunDicosBench();
    return can != 0 ? can : dicos;
}
