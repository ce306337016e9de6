// P7: heap allocations per export. Every one of the 77 exports is called `--rounds N` times (default 20)
// on virtual boards that together have every feature (Trelo-01, -05, -06, -11, -12, Vexa-04, each with
// a PoE expansion card), under the allocation counter of tests/heap/alloc_counter.cpp (this program
// links it first). For each export it prints the allocations per call made inside the library after load (must be 0) and the ones glibc
// makes for a thread the library starts (the counter's "thread" class: the TLS vector of a new
// thread). Exit status 1 when any export allocated. Built in the heap-count build only:
//   cmake --preset heap && cmake --build --preset heap --target hx_heap_bench -j$(nproc)
//   build/heap/bench/hx_heap_bench [--rounds N]        (HX_REPORT_DIR set: writes P7.json there)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "halvex32.h"
#include "halvex32_service.h"

extern "C" unsigned long hx_heap_count(int which);  // 0 library after load, 1 load, 2 thread

namespace {

constexpr int kLibrary = 0, kThread = 2;
constexpr const char* kModels[] = {"Trelo-01", "Trelo-05", "Trelo-06", "Trelo-11", "Trelo-12", "Vexa-04"};
constexpr uint32_t kCardNic = 0x15218086;  // a PoE expansion card on every board: 8086:1521 behind bus 3, card 0
constexpr uint8_t kCardBridgeBus = 3;

void HX_CALLBACK OnDicos(DiEventRecord*) {}
void HX_CALLBACK OnCanReceived(CanMessage*, uint32_t) {}
void HX_CALLBACK OnCanStatus(uint32_t) {}
void HX_CALLBACK OnPwmStatus(uint32_t, uint32_t) {}
void HX_CALLBACK OnDt2(uint32_t) {}

// Records the calls take; words chosen so each call is accepted where the model has the feature.
DicosSetup g_dicos{0x000F, 0, 0};
uint32_t g_words[8] = {1, 1, 1, 0, 0, 0, 0, 0};
Dt2Setup g_dt2{{1, 1, 1, 0, 0, 0, 0, 0}};
CanMessage g_can{0x123, 0, 0, 8, {1, 2, 3, 4, 5, 6, 7, 8}};
IgnSetting g_ign{};
uint32_t g_u32 = 0;
double g_volts = 0;

struct Export {
    const char* name;
    long (*call)();  // the export's result (1 for those without one): non-zero counts as done
};

// In an order that sets up, starts, uses and stops each feature, so every call does its work.
const Export kExports[] = {
    {"RegisterWinIOService", [] { return long(RegisterWinIOService()); }},
    {"InitWDT", [] { return long(InitWDT()); }},
    {"SetWDT", [] { return long(SetWDT(60, 1)); }},
    {"StartWDT", [] { return long(StartWDT()); }},
    {"ResetWDT", [] { return long(ResetWDT()); }},
    {"StopWDT", [] { return long(StopWDT()); }},
    {"InitDIO", [] { return long(InitDIO()); }},
    {"DIReadLine", [] { return long(DIReadLine(1)); }},
    {"DIReadPort", [] { return long(DIReadPort()); }},
    {"DOWriteLine", [] { DOWriteLine(1, 1); return 1L; }},
    {"DOWritePort", [] { DOWritePort(0x5); return 1L; }},
    {"DOWriteLineChecked", [] { DOWriteLineChecked(1, 0); return 1L; }},
    {"DOWritePortChecked", [] { DOWritePortChecked(0xA); return 1L; }},
    {"RegisterCallbackDICOS", [] { return long(RegisterCallbackDICOS(OnDicos)); }},
    {"SetupDICOS", [] { return long(SetupDICOS(&g_dicos, sizeof g_dicos)); }},
    {"StartDICOS", [] { return long(StartDICOS()); }},
    {"StopDICOS", [] { return long(StopDICOS()); }},
    {"EnablePoEPort", [] { return long(EnablePoEPort(1)); }},
    {"GetStatusPoEPort", [] { return long(GetStatusPoEPort(1)); }},
    {"DisablePoEPort", [] { return long(DisablePoEPort(1)); }},
    {"PCI_EnablePoEPort", [] { return long(PCI_EnablePoEPort(0, 1)); }},
    {"PCI_GetStatusPoEPort", [] { return long(PCI_GetStatusPoEPort(0, 1)); }},
    {"PCI_DisablePoEPort", [] { return long(PCI_DisablePoEPort(0, 1)); }},
    {"SetupDTIO", [] { return long(SetupDTIO(g_words, 12)); }},
    {"SetUnitDTIO", [] { return long(SetUnitDTIO(10, 0)); }},
    {"GetUnitDTIO", [] { return long(GetUnitDTIO()); }},
    {"StartDTIO", [] { return long(StartDTIO()); }},
    {"StopDTIO", [] { return long(StopDTIO()); }},
    {"SetupDTFO", [] { return long(SetupDTFO(g_words, 12)); }},
    {"SetUnitDTFO", [] { return long(SetUnitDTFO(10, 0)); }},
    {"GetUnitDTFO", [] { return long(GetUnitDTFO()); }},
    {"StartDTFO", [] { return long(StartDTFO()); }},
    {"StopDTFO", [] { return long(StopDTFO()); }},
    {"IGN_GetState", [] { return long(IGN_GetState(&g_u32)); }},
    {"IGN_GetBatteryVoltage", [] { return long(IGN_GetBatteryVoltage(&g_volts)); }},
    {"IGN_GetSetting", [] { return long(IGN_GetSetting(&g_ign, sizeof g_ign)); }},
    {"CAN_RegisterReceived", [] { return long(CAN_RegisterReceived(0, OnCanReceived)); }},
    {"CAN_RegisterStatus", [] { return long(CAN_RegisterStatus(0, OnCanStatus)); }},
    {"CAN_Setup", [] { return long(CAN_Setup(0, g_words, 16)); }},
    {"CAN_BitTimingGet", [] { return long(CAN_BitTimingGet(0, g_words, 8)); }},
    {"CAN_BitTimingSet", [] { return long(CAN_BitTimingSet(0, g_words, 8)); }},
    {"CAN_Start", [] { return long(CAN_Start(0)); }},
    {"CAN_Send", [] { return long(CAN_Send(0, &g_can, sizeof g_can)); }},
    {"CAN_Stop", [] { return long(CAN_Stop(0)); }},
    {"PWM_RegisterStatus", [] { return long(PWM_RegisterStatus(OnPwmStatus)); }},
    {"PWM_ClockSet", [] { return long(PWM_ClockSet(0, 1)); }},
    {"PWM_GenSetup", [] { return long(PWM_GenSetup(0, g_words, 12)); }},
    {"PWM_GenPeriod", [] { return long(PWM_GenPeriod(0, 1000)); }},
    {"PWM_PulseWidth", [] { return long(PWM_PulseWidth(0, 500)); }},
    {"PWM_PulseInvert", [] { return long(PWM_PulseInvert(0)); }},
    {"PWM_SyncTimeBase", [] { return long(PWM_SyncTimeBase(0)); }},
    {"PWM_SyncUpdate", [] { return long(PWM_SyncUpdate(0)); }},
    {"PWM_Start", [] { return long(PWM_Start(1)); }},
    {"PWM_Stop", [] { return long(PWM_Stop(1)); }},
    {"MCU_GetVersion", [] { return long(MCU_GetVersion(&g_u32)); }},
    {"LED_SetCurrentDriving", [] { return long(LED_SetCurrentDriving(0, 1)); }},
    {"ADC_Start", [] { return long(ADC_Start(1)); }},
    {"ADC_GetData", [] { return long(ADC_GetData(0, &g_volts)); }},
    {"ADC_Stop", [] { return long(ADC_Stop(1)); }},
    {"QEI_Setup", [] { return long(QEI_Setup(0, g_words, 12)); }},
    {"QEI_Start", [] { return long(QEI_Start(1)); }},
    {"QEI_GetDirection", [] { return long(QEI_GetDirection(0, &g_u32)); }},
    {"QEI_GetVelocity", [] { return long(QEI_GetVelocity(0, &g_u32)); }},
    {"QEI_GetPosition", [] { return long(QEI_GetPosition(0, &g_u32)); }},
    {"QEI_SetPosition", [] { return long(QEI_SetPosition(0, 100)); }},
    {"QEI_Stop", [] { return long(QEI_Stop(1)); }},
    {"DT2_EiRegisterIndexed", [] { return long(DT2_EiRegisterIndexed(OnDt2)); }},
    {"DT2_Setup", [] { return long(DT2_Setup(&g_dt2, sizeof g_dt2)); }},
    {"DT2_SetUnit", [] { return long(DT2_SetUnit(10, 0)); }},
    {"DT2_GetUnit", [] { return long(DT2_GetUnit()); }},
    {"DT2_Start", [] { return long(DT2_Start()); }},
    {"DT2_StPush", [] { return long(DT2_StPush(0x3, 0x1)); }},
    {"DT2_StPull", [] { return long(DT2_StPull(&g_u32)); }},
    {"DT2_EiSendResult", [] { return long(DT2_EiSendResult(0, 1)); }},
    {"DT2_Stop", [] { return long(DT2_Stop()); }},
    {"MCU_Reset", [] { return long(MCU_Reset()); }},
    {"StopDIO", [] { return long(StopDIO()); }},
};
constexpr int kExportCount = sizeof kExports / sizeof kExports[0];
static_assert(kExportCount == 77, "every export once");

struct Tally {
    unsigned long library = 0, thread = 0, calls = 0, done = 0;
};
Tally g_tally[kExportCount];

void RunModel(const char* model, int rounds) {
    if (hx::service::LoadOnVirtualBoard(model) != hx::service::Load::Open) {
        std::fprintf(stderr, "%s: the virtual board did not load\n", model);
        std::exit(2);
    }
    for (int e = 0; e < kExportCount; ++e) {
        const unsigned long library = hx_heap_count(kLibrary), thread = hx_heap_count(kThread);
        for (int r = 0; r < rounds; ++r) g_tally[e].done += kExports[e].call() != 0 ? 1 : 0;
        g_tally[e].library += hx_heap_count(kLibrary) - library;
        g_tally[e].thread += hx_heap_count(kThread) - thread;
        g_tally[e].calls += static_cast<unsigned long>(rounds);
    }
    hx::service::Unload();
}

void WriteReport(unsigned long total, int findings, int rounds) {
    const char* dir = std::getenv("HX_REPORT_DIR");
    if (!dir || !*dir) return;
    mkdir(dir, 0755);
    char path[4096];
    std::snprintf(path, sizeof path, "%s/P7.json", dir);
    FILE* f = std::fopen(path, "w");
    if (!f) return;
    std::fprintf(f, "{\"id\": \"P7\", \"title\": \"Heap allocations per export\", \"family\": \"heap\",\n"
                    " \"command\": \"build/heap/bench/hx_heap_bench --rounds %d\", \"findings\": %d,\n \"rows\": [\n",
                 rounds, findings);
    for (int e = 0; e < kExportCount; ++e) {
        std::fprintf(f, "  {\"measure\": \"%s\", \"value\": %lu, \"unit\": \"allocations\", \"bound\": 0, \"ok\": %s},\n",
                     kExports[e].name, g_tally[e].library, g_tally[e].library == 0 ? "true" : "false");
    }
    std::fprintf(f, "  {\"measure\": \"all exports\", \"value\": %lu, \"unit\": \"allocations\", \"bound\": 0, \"ok\": %s}\n"
                    " ]}\n", total, total == 0 ? "true" : "false");
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    hx::service::PlugBoardCard(kCardNic, kCardBridgeBus, 0);
    int rounds = 20;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) rounds = std::atoi(argv[2]);
    if (rounds <= 0) {
        std::fprintf(stderr, "usage: %s [--rounds N]\n", argv[0]);
        return 2;
    }
    for (const char* model : kModels) RunModel(model, rounds);

    unsigned long total = 0;
    int findings = 0;
    std::printf("%-24s %12s %14s %8s %8s\n", "export", "allocs/call", "thread/call", "calls", "nonzero");
    for (int e = 0; e < kExportCount; ++e) {
        const Tally& t = g_tally[e];
        std::printf("%-24s %12.3f %14.3f %8lu %8lu\n", kExports[e].name, double(t.library) / double(t.calls),
                    double(t.thread) / double(t.calls), t.calls, t.done);
        total += t.library;
        findings += t.library > 0 ? 1 : 0;
    }
    std::printf("library allocations after load, all exports: %lu (%d exports allocated); load-time: %lu\n", total,
                findings, hx_heap_count(1));
    WriteReport(total, findings, rounds);
    return findings == 0 ? 0 : 1;
}
