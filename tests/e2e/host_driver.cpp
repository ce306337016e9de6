// The Linux side of the Wine tests. It owns the simulated WinIo's board file
// (mapped here and, through Wine, by WinIo64.dll), writes the registry data
// that a case needs as .reg files for regedit, runs the Windows test programs
// under wine64 and checks their output and every hardware access they made.
//
//   hx_e2e_host WINE BINDIR WORKDIR [CASE-FILTER]
//
// BINDIR holds Halvex32.dll, its link map, WinIo64.dll, hx_e2e_probe.exe and
// hx_win_unit.exe. Prints one line per case and "N passed, N failed".
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/chips/pci_config.h"
#include "sim/models.h"
#include "sim/smbios.h"
#include "sim/virtual_board.h"
#include "sim/watchdog_board.h"
#include "sim/winio/board_file.h"
#ifdef HX_E2E_WATCHDOG_CASES
#include "tests/e2e/wdt_cases.h"
#endif
#ifdef HX_E2E_MCU_CASES
#include "tests/e2e/mcu_cases.h"
#endif

namespace {

using hx::u32;
using hx::u8;
using namespace hx::sim;

std::string g_wine, g_bin, g_work;
BoardFile* g_board = nullptr;
std::map<std::string, std::string> g_rva;  // symbol -> RVA (hex)
std::string g_lastOutput;

constexpr u32 kCard1521 = 0x15218086, kCard1563 = 0x15638086, kOtherIntelNic = 0x10D38086;
constexpr char kSmbiosKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data";

std::string WindowsPath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p) if (c == '/') c = '\\';
    return p;
}

// Runs a command line, keeps its output (stdout and stderr) in g_lastOutput,
// returns its exit code (-1 when it did not exit normally). The output goes
// through a file, not a pipe: Wine's service processes, started by the first
// program, inherit the handles and would hold a pipe open.
int Run(const std::string& command) {
    const std::string out = g_work + "/output.txt";
    const int status = std::system((command + " >'" + out + "' 2>&1 </dev/null").c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    g_lastOutput = text.str();
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A Windows program that hangs (a message box that found a display, say)
// fails its case after two minutes instead of stopping the whole stage.
int Wine(const std::string& arguments) { return Run("timeout -k 5 120 '" + g_wine + "' " + arguments); }
int Probe(const std::string& arguments) { return Wine("'" + g_bin + "/hx_e2e_probe.exe' " + arguments); }

// ---- board file ---------------------------------------------------------------

std::string BoardPath() { return g_work + "/board.bin"; }

bool MapBoardFile() {
    const int fd = open(BoardPath().c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof(BoardFile)) != 0) return false;
    void* map = mmap(nullptr, sizeof(BoardFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return false;
    g_board = static_cast<BoardFile*>(map);
    return true;
}

// A powered-on board without devices: nothing on any PCI bus.
void FreshBoard(const char* model = "Trelo-01") {
    std::memset(g_board, 0, sizeof *g_board);
    g_board->magic = kBoardFileMagic;
    g_board->stateSize = sizeof(BoardState);
    std::strncpy(g_board->state.model, model, kModelNameMax - 1);
    Board board(g_board->state);
    WatchdogChips chips(board, g_board->state);
    chips.PowerOn(*FindBoardModel(model));
    ClearAccessLog(g_board->state);
}

void PlaceCard(u8 bus, u8 device, u8 function, u32 id) {
    PciConfig pci(g_board->state.pci);
    pci.Place(bus, device, function, id);
}

const AccessLogState& Log() { return g_board->state.log; }

std::string Describe(const Access& a) {
    static const char* kinds[] = {"open", "close", "in", "out", "physread", "physwrite"};
    char line[96];
    std::snprintf(line, sizeof line, "%s%s size %u addr %X value %X", kinds[static_cast<int>(a.kind)],
                  a.ok ? "" : " (failed)", a.size, a.address, a.value);
    return line;
}

void PrintLog() {
    for (u32 i = 0; i < Log().count && i < 80; ++i) std::printf("    log %u: %s\n", i, Describe(Log().entries[i]).c_str());
}

// ---- registry data -------------------------------------------------------------

bool ImportReg(const std::string& body) {
    const std::string path = g_work + "/case.reg";
    std::ofstream(path) << "REGEDIT4\n\n" << body << "\n";
    return Wine("regedit /S '" + WindowsPath(path) + "'") == 0;
}

std::string HexValue(const std::string& name, const std::vector<u8>& bytes) {
    std::ostringstream s;
    s << "\"" << name << "\"=hex:";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", bytes[i]);
        s << b;
        if (i + 1 < bytes.size()) s << (i % 24 == 23 ? ",\\\n  " : ",");
    }
    return s.str();
}

bool SetSmbios(const std::vector<u8>& bytes) {
    return ImportReg(std::string("[-") + kSmbiosKey + "]\n\n[" + kSmbiosKey + "]\n" + HexValue("SMBiosData", bytes));
}

bool RemoveSmbiosKey() { return ImportReg(std::string("[-") + kSmbiosKey + "]"); }

std::vector<u8> RegistryDataFor(const BoardModel& model) {
    std::vector<u8> out(kSmbiosCapacity);
    const u32 n = BuildRegistrySmbiosData(IdentityFor(model), out.data(), static_cast<u32>(out.size()));
    out.resize(n);
    return out;
}

// ---- the library's view -----------------------------------------------------------

struct LoadedState {
    bool loaded = false;
    std::string platform, card, os;
};

std::string Field(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key + "=");
    if (at == std::string::npos) return "";
    const std::size_t end = text.find_first_of("\r\n", at);
    return text.substr(at + key.size() + 1, end - at - key.size() - 1);
}

LoadedState LoadAndReport() {
    LoadedState s;
    s.loaded = Probe("state " + g_rva["hx::CurrentPlatform"] + " " + g_rva["hx::CurrentCard"] + " " +
                     g_rva["hx::OsMajorVersion"]) == 0;
    s.platform = Field(g_lastOutput, "platform");
    s.card = Field(g_lastOutput, "card");
    s.os = Field(g_lastOutput, "os");
    return s;
}

// ---- checks ---------------------------------------------------------------------------

int g_caseFailures = 0;

void Expect(bool ok, const std::string& what) {
    if (ok) return;
    std::printf("  expected: %s\n", what.c_str());
    ++g_caseFailures;
}

// The load-time scan as the board saw it: Open, then for each bus from 0 a
// configuration cycle (CF8h <- 80000000h | bus << 16, CFCh read) until
// `lastBus`, then Close at unload and nothing else.
void ExpectScanLog(u32 lastBus, u32 lastId) {
    const AccessLogState& log = Log();
    const u32 expected = 1 + 2 * (lastBus + 1) + 1;
    Expect(log.count == expected, "access log of " + std::to_string(expected) + " entries, got " + std::to_string(log.count));
    if (log.count != expected) return PrintLog();
    Expect(log.entries[0].kind == AccessKind::Open && log.entries[0].ok, "Open first");
    for (u32 bus = 0; bus <= lastBus; ++bus) {
        const Access& w = log.entries[1 + 2 * bus];
        const Access& r = log.entries[2 + 2 * bus];
        const u32 id = bus == lastBus ? lastId : 0xFFFFFFFF;
        Expect(w.kind == AccessKind::PortWrite && w.address == 0xCF8 && w.size == 4 && w.value == (0x80000000u | bus << 16),
               "bus " + std::to_string(bus) + ": " + Describe(w));
        Expect(r.kind == AccessKind::PortRead && r.address == 0xCFC && r.size == 4 && r.value == id,
               "bus " + std::to_string(bus) + ": " + Describe(r));
    }
    Expect(log.entries[expected - 1].kind == AccessKind::Close, "Close last");
}

std::string Hex8(u32 v) {
    char b[12];
    std::snprintf(b, sizeof b, "%08X", v);
    return b;
}

// ---- cases ------------------------------------------------------------------------------

void ExportsByNameAndOrdinal() {
    FreshBoard();
    Expect(RemoveSmbiosKey(), "regedit import");
    Expect(Probe("exports") == 0, "probe exports passes:\n" + g_lastOutput);
    // Without a platform the calls reach no hardware: only the load-time scan.
    ExpectScanLog(31, 0xFFFFFFFF);
}

void DetectModel(const BoardModel& model) {
    FreshBoard(model.name);
    Expect(SetSmbios(RegistryDataFor(model)), "regedit import");
    const LoadedState s = LoadAndReport();
    Expect(s.loaded, "library loads:\n" + g_lastOutput);
    Expect(s.platform == model.name, std::string("platform ") + model.name + ", got '" + s.platform + "'");
    Expect(s.os == "10", "OsMajorVersion 10 from RtlGetVersion (Wine's default Windows 10), got '" + s.os + "'");
}

void NoPlatformWithoutKey() {
    FreshBoard();
    Expect(RemoveSmbiosKey(), "regedit import");
    const LoadedState s = LoadAndReport();
    Expect(s.loaded, "library still loads");
    Expect(s.platform == "none", "no platform, got '" + s.platform + "'");
}

void NoPlatformForAnotherValueType() {
    FreshBoard();
    // The model's name as a string value: not REG_BINARY, so not searched.
    Expect(ImportReg(std::string("[-") + kSmbiosKey + "]\n\n[" + kSmbiosKey + "]\n\"SMBiosData\"=\"Trelo-05 Trelo-11\""),
           "regedit import");
    LoadedState s = LoadAndReport();
    Expect(s.loaded && s.platform == "none", "no platform for REG_SZ, got '" + s.platform + "'");
    // The same bytes as REG_BINARY are found: the type alone made the difference.
    const std::string text = "Trelo-05 Trelo-11";
    Expect(SetSmbios(std::vector<u8>(text.begin(), text.end())), "regedit import");
    s = LoadAndReport();
    Expect(s.platform == "Trelo-05", "Trelo-05 for the same text as REG_BINARY, got '" + s.platform + "'");
}

// A value longer than the 4095 bytes searched: a key is found when its last
// byte is byte 4094, not when it reaches byte 4095.
void LongValueIsSearchedInItsFirst4095Bytes() {
    const std::string key = "Vexa-02";
    for (const u32 keyEnd : {4094u, 4095u}) {
        FreshBoard();
        std::vector<u8> blob(6000, 0x00);
        for (std::size_t i = 0; i < blob.size(); i += 2) blob[i] = 'x';
        std::memcpy(blob.data() + keyEnd + 1 - key.size(), key.data(), key.size());
        Expect(SetSmbios(blob), "regedit import");
        const LoadedState s = LoadAndReport();
        const std::string want = keyEnd == 4094 ? "Vexa-02" : "none";
        Expect(s.loaded && s.platform == want,
               "key ending at byte " + std::to_string(keyEnd) + ": platform " + want + ", got '" + s.platform + "'");
    }
    // A real table followed by more structures than fit: the model is found.
    FreshBoard();
    std::vector<u8> data = RegistryDataFor(*FindBoardModel("Trelo-12"));
    data.resize(5000, 0x7E);
    Expect(SetSmbios(data), "regedit import");
    Expect(LoadAndReport().platform == "Trelo-12", "Trelo-12 from a 5000-byte value");
}

void LoadRefusedWhenWinIoCannotStart() {
    FreshBoard();
    Expect(SetSmbios(RegistryDataFor(*FindBoardModel("Trelo-05"))), "regedit import");
    g_board->state.faults.openFails = true;
    Expect(Probe("refused") == 0, "LoadLibrary fails with ERROR_DLL_INIT_FAILED:\n" + g_lastOutput);
    // The failed start and the unload's ShutdownWinIo; no init, no scan.
    const AccessLogState& log = Log();
    Expect(log.count == 2, "two accesses (failed open, close), got " + std::to_string(log.count));
    if (log.count >= 1) Expect(log.entries[0].kind == AccessKind::Open && !log.entries[0].ok, "failed Open first");
    if (log.count >= 2) Expect(log.entries[1].kind == AccessKind::Close, "then Close");
    if (log.count != 2) PrintLog();
}

// Without the WinIo library the start fails the same way: no load.
void LoadRefusedWithoutWinIoLibrary() {
    FreshBoard();
    const std::string dll = g_bin + "/WinIo64.dll", aside = g_bin + "/WinIo64.dll.aside";
    Expect(std::rename(dll.c_str(), aside.c_str()) == 0, "WinIo64.dll moved aside");
    Expect(Probe("refused") == 0, "LoadLibrary fails with ERROR_DLL_INIT_FAILED:\n" + g_lastOutput);
    Expect(std::rename(aside.c_str(), dll.c_str()) == 0, "WinIo64.dll put back");
    Expect(Log().count == 0, "no access reached the board");
}

void ScanWithoutCardCoversAll32Buses() {
    FreshBoard();
    Expect(RemoveSmbiosKey(), "regedit import");
    const LoadedState s = LoadAndReport();
    Expect(s.card == "none", "no card, got '" + s.card + "'");
    ExpectScanLog(31, 0xFFFFFFFF);
}

void ScanFindsACardAndStops() {
    FreshBoard();
    PlaceCard(3, 0, 0, kCard1521);
    const LoadedState s = LoadAndReport();
    Expect(s.card == Hex8(kCard1521), "card 15218086h, got '" + s.card + "'");
    ExpectScanLog(3, kCard1521);
}

void ScanSkipsOtherDevicesAndFunctions() {
    FreshBoard();
    PlaceCard(0, 1, 0, kCard1521);         // device 1: not looked at
    PlaceCard(1, 0, 1, kCard1563);         // function 1: not looked at
    PlaceCard(2, 0, 0, kOtherIntelNic);    // answers, but unsupported
    const LoadedState s = LoadAndReport();
    Expect(s.card == "none", "no card, got '" + s.card + "'");
    Expect(Log().count == 66 && Log().entries[6].value == kOtherIntelNic, "32 cycles, bus 2 answering 10D38086h");
}

void LowestBusWins() {
    FreshBoard();
    PlaceCard(9, 0, 0, kCard1521);
    PlaceCard(5, 0, 0, kCard1563);
    const LoadedState s = LoadAndReport();
    Expect(s.card == Hex8(kCard1563), "the card on bus 5 (15638086h), got '" + s.card + "'");
    ExpectScanLog(5, kCard1563);
}

void SharedSectionSeenByTwoProcesses() {
    FreshBoard();
    Expect(RemoveSmbiosKey(), "regedit import");  // no platform: InitDIO only clears the flag
    const std::string rva = g_rva["hx::os::win32::SharedSection"];
    Expect(Probe("shared " + rva) == 0, "two processes share the words:\n" + g_lastOutput);
    Expect(Probe("shared-fresh " + rva) == 0, "zero again for the next process:\n" + g_lastOutput);
}

void RegisterServiceFresh() {
    FreshBoard();
    Expect(Probe("service") == 0, "fresh installation:\n" + g_lastOutput);
    Expect(Wine("reg query 'HKLM\\System\\CurrentControlSet\\Services\\WINIO' /v ImagePath") == 0 &&
               g_lastOutput.find("winio32.sys") != std::string::npos,
           "the registry holds the WINIO service with its driver path:\n" + g_lastOutput);
    // Access was closed at the call: the log ends Open, scan, Close (the
    // call), Close (the unload).
    const AccessLogState& log = Log();
    Expect(log.count == 67 && log.entries[65].kind == AccessKind::Close && log.entries[66].kind == AccessKind::Close,
           "ShutdownWinIo at the call and at the unload");
    if (log.count != 67) PrintLog();
}

void RegisterServiceReplacesExisting() {
    FreshBoard();
    Expect(Probe("service-existing") == 0, "replacing an installed service:\n" + g_lastOutput);
    Expect(Wine("reg query 'HKLM\\System\\CurrentControlSet\\Services\\WINIO' /v Start") == 0 &&
               g_lastOutput.find("0x1") != std::string::npos,
           "Start is SERVICE_SYSTEM_START:\n" + g_lastOutput);
}

// ---- runner -----------------------------------------------------------------------------

int g_passed = 0, g_failed = 0;

std::string g_filter;  // runs only the cases whose name contains it

void Case(const std::string& name, const std::function<void()>& body) {
    if (name.find(g_filter) == std::string::npos) return;
    g_caseFailures = 0;
    body();
    if (g_caseFailures == 0) {
        ++g_passed;
        std::printf("ok: %s\n", name.c_str());
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", name.c_str());
    }
    std::fflush(stdout);
}

bool ReadLinkMap(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    unsigned long long base = 0;
    std::map<std::string, unsigned long long> addr;
    const char* wanted[] = {"hx::CurrentPlatform", "hx::CurrentCard", "hx::OsMajorVersion",
                            "hx::os::win32::SharedSection"};
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string a, name, eq;
        if (!(s >> a >> name) || a.rfind("0x", 0) != 0) continue;
        if (name == "__image_base__") base = std::stoull(a, nullptr, 16);
        for (const char* w : wanted) {
            std::string rest;
            if (name == w && !(s >> rest)) addr[w] = std::stoull(a, nullptr, 16);
        }
    }
    if (!base) return false;
    for (const char* w : wanted) {
        if (!addr.count(w)) return false;
        char hex[24];
        std::snprintf(hex, sizeof hex, "%llx", addr[w] - base);
        g_rva[w] = hex;
    }
    return true;
}

// The unit tests of the Win32 back-end report their own counts.
void WindowsUnitTests() {
    FreshBoard();
    Wine("'" + g_bin + "/hx_win_unit.exe'");
    std::fputs(g_lastOutput.c_str(), stdout);
    int passed = 0, failed = 0;
    const std::size_t at = g_lastOutput.rfind(" passed, ");
    const std::size_t lineStart = at == std::string::npos ? at : g_lastOutput.rfind('\n', at);
    if (at == std::string::npos ||
        std::sscanf(g_lastOutput.c_str() + (lineStart == std::string::npos ? 0 : lineStart + 1), "%d passed, %d failed",
                    &passed, &failed) != 2) {
        std::printf("FAILED: Win32 back-end unit tests (no summary)\n");
        ++g_failed;
        return;
    }
    g_passed += passed;
    g_failed += failed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: hx_e2e_host WINE BINDIR WORKDIR [CASE-FILTER]\n");
        return 64;
    }
    g_wine = argv[1];
    g_bin = argv[2];
    g_work = argv[3];
    if (argc == 5) g_filter = argv[4];
    if (!ReadLinkMap(g_bin + "/Halvex32.dll.map")) {
        std::printf("cannot read the library's internal addresses from %s/Halvex32.dll.map\n0 passed, 1 failed\n",
                    g_bin.c_str());
        return 1;
    }
    if (!MapBoardFile()) {
        std::printf("cannot create the board file %s\n0 passed, 1 failed\n", BoardPath().c_str());
        return 1;
    }
    setenv(kBoardFileVariable, BoardPath().c_str(), 1);

    // Wine 8 reports Windows 7 unless told otherwise; the MCU port search
    // takes its other registry path from Windows 10 on.
    if (!ImportReg("[HKEY_CURRENT_USER\\Software\\Wine]\n\"Version\"=\"win10\"")) {
        std::printf("cannot set the Windows version of the prefix\n0 passed, 1 failed\n");
        return 1;
    }
    if (std::string("Win32 back-end unit tests").find(g_filter) != std::string::npos) WindowsUnitTests();
    Case("exports by name and by ordinal, defaults without platform", ExportsByNameAndOrdinal);
    for (const BoardModel& m : kBoardModels) Case(std::string("detects ") + m.name + " from the registry", [&m] { DetectModel(m); });
    Case("no platform without the SMBIOS key", NoPlatformWithoutKey);
    Case("no platform for a value that is not REG_BINARY", NoPlatformForAnotherValueType);
    Case("a long value is searched in its first 4095 bytes", LongValueIsSearchedInItsFirst4095Bytes);
    Case("load refused when WinIo cannot start", LoadRefusedWhenWinIoCannotStart);
    Case("load refused without the WinIo library", LoadRefusedWithoutWinIoLibrary);
    Case("card scan without a card covers 32 buses", ScanWithoutCardCoversAll32Buses);
    Case("card scan finds a card and stops", ScanFindsACardAndStops);
    Case("card scan skips other devices, functions and unsupported ids", ScanSkipsOtherDevicesAndFunctions);
    Case("of two cards the lower bus wins", LowestBusWins);
    Case("shared section seen by two processes", SharedSectionSeenByTwoProcesses);
    Case("RegisterWinIOService, fresh", RegisterServiceFresh);
    Case("RegisterWinIOService replaces an installed WINIO", RegisterServiceReplacesExisting);

#ifdef HX_E2E_WATCHDOG_CASES
    hx::e2e::RunWatchdogCases(hx::e2e::WdtHost{
        &g_board->state,
        [](const char* model) {
            FreshBoard(model);
            return SetSmbios(RegistryDataFor(*FindBoardModel(model)));
        },
        [](const std::string& arguments) { return Wine("'" + g_bin + "/hx_e2e_wdt.exe' " + arguments); },
        []() -> const std::string& { return g_lastOutput; },
        Expect,
        Case,
    });
#endif

#ifdef HX_E2E_MCU_CASES
    const char* prefix = std::getenv("WINEPREFIX");
    hx::e2e::RunMcuCases(hx::e2e::McuHost{
        prefix ? prefix : "",
        []() {
            FreshBoard();
            return &g_board->state;
        },
        ImportReg,
        [](const std::string& arguments) { return Wine("'" + g_bin + "/hx_e2e_mcu.exe' " + arguments); },
        []() -> const std::string& { return g_lastOutput; },
        Expect,
        Case,
    });
#endif

    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
