// The Linux side of the Wine stage. Runs the cases of a case file (format in
// tests/e2e/cases.txt): sets up what a case needs (the simulated WinIo's board
// file, which Wine maps too; registry data imported with regedit; COM ports
// of the prefix mapped to the MCU firmware's pseudo-terminal or to other
// files), runs the Windows programs under wine64 and compares the accesses
// the board saw and the frames the firmware received with the case's traces.
//
//   hx_e2e_host WINE BINDIR WORKDIR CASES [CASE-FILTER]
//
// Prints one line per case and ends with "N passed, N failed".
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/chips/pci_config.h"
#include "sim/dio_field.h"
#include "sim/firmware/can_controller.h"
#include "sim/poe_board.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"
#include "sim/winio/board_file.h"
#include "tests/unit/wdt_trace.h"

namespace {

using hx::u32;
using hx::u8;
using namespace hx::sim;
using Words = std::vector<std::string>;

struct Step {
    std::string word, rest;
    Words body;  // the lines indented under it
};
struct Case {
    std::string name;
    std::vector<Step> steps;
};

constexpr std::size_t kPaddedSmbiosBytes = 6000;
constexpr u8 kFillerStructureByte = 0x7E;
constexpr char kSmbiosKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data";

std::string g_wine, g_bin, g_work, g_prefix, g_output;
std::jthread g_inputDriver;  // step dicos-input; assigning joins the one before
BoardFile* g_board = nullptr;
int g_failures = 0;  // of the running case

void Expect(bool ok, const std::string& what) {
    if (ok) return;
    std::printf("  expected %s\n", what.c_str());
    ++g_failures;
}

Words Split(const std::string& text) {
    Words words;
    std::istringstream s(text);
    for (std::string w; s >> w;) words.push_back(w);
    return words;
}

std::string Join(const Words& words, const char* separator = " ") {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : separator) + w;
    return text;
}

std::string Hex2(u32 byte) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", byte & 0xFF);
    return b;
}

// Runs a shell command, keeps its output in g_output. The output goes through
// a file, not a pipe: Wine's service processes inherit the handles and would
// hold a pipe open.
int Shell(const std::string& command) {
    const std::string out = g_work + "/output.txt";
    const int status = std::system((command + " >'" + out + "' 2>&1 </dev/null").c_str());
    std::stringstream text;
    text << std::ifstream(out).rdbuf();
    g_output = text.str();
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A Windows program that hangs fails its case after two minutes.
int Wine(const std::string& arguments) { return Shell("timeout -k 5 120 '" + g_wine + "' " + arguments); }

std::string WindowsPath(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return "Z:" + path;
}

bool ImportReg(const std::string& body) {
    const std::string path = g_work + "/case.reg";
    std::ofstream(path) << "REGEDIT4\n\n" << body << "\n";
    // regedit now and then exits non-zero while the wineserver of the case
    // before is still winding down; the import is idempotent, so it gets a
    // second go, and a second failure shows what regedit said.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (Wine("regedit /S '" + WindowsPath(path) + "'") == 0) return true;
    }
    return false;
}

// A fresh board of `model` in the board file, and its SMBIOS table in the
// registry, where Windows keeps it behind an 8-byte header (calling method,
// major and minor version, DMI revision, table length), then filler up to
// 6000 bytes: real tables are often longer than the 4095 bytes detection reads.
bool SetUpModel(const std::string& model) {
    StopBoardLinks();
    if (!SetUpBoard(model.c_str())) return false;
    g_board->magic = kBoardFileMagic;
    g_board->stateSize = sizeof(BoardState);
    std::memcpy(static_cast<void*>(&g_board->state), &TheBoardState(), sizeof(BoardState));
    const SmbiosState& s = TheBoardState().smbios;
    std::vector<u8> data{0, 3, 0, 0, u8(s.length), u8(s.length >> 8), 0, 0};
    data.insert(data.end(), s.bytes, s.bytes + s.length);
    data.resize(kPaddedSmbiosBytes, kFillerStructureByte);
    std::string value = "\"SMBiosData\"=hex:";
    for (std::size_t i = 0; i < data.size(); ++i) value += (i ? (i % 24 ? "," : ",\\\n  ") : "") + Hex2(data[i]);
    return ImportReg(std::string("[-") + kSmbiosKey + "]\n\n[" + kSmbiosKey + "]\n" + value);
}

// COM port N of the prefix: the MCU firmware's terminal ("mcu"), the CAN
// controller's ("can") or a file.
bool MapCom(const Words& a) {
    if (a.size() != 2) return false;
    std::string target = a[1];
    if (target == "mcu" || target == "can") {
        if (!StartBoardLinks()) return false;
        target = LinkPath(target == "mcu" ? LinkRole::Mcu : LinkRole::Can);
    }
    const std::string link = g_prefix + "/dosdevices/com" + a[0];
    unlink(link.c_str());
    return symlink(target.c_str(), link.c_str()) == 0;
}

// Input `line` of the connector goes to `active` as soon as the firmware's
// DI change engine runs (after the Windows program's StartDICOS), within a minute.
void DriveInputOnceDicosRuns(u32 line, bool active) {
    bool running = false;
    for (int i = 0; i < 6000 && !running; ++i, usleep(10000)) {
        EditLinks([&](SerialLinkState& l) { running = l.mcu.dicos.running; });
    }
    if (running) DriveFieldInput(line, active);
}

// The port and memory accesses as the watchdog traces of the unit tests.
Words AccessTrace() {
    const AccessLogState& log = g_board->state.log;
    return Split(hx::test::Trace({log.entries, log.entries + std::min<std::size_t>(log.count, kAccessLogCapacity)}));
}

// The frames the MCU firmware received, in hex.
Words WireTrace() {
    Words frames;
    EditLinks([&](SerialLinkState& links) {
        for (u32 i = 0; i < links.mcu.framesReceived && i < kFirmwareLogCapacity; ++i) {
            std::string hex;
            for (u8 b : links.mcu.log[i].bytes) hex += Hex2(b);
            frames.push_back(hex);
        }
    });
    return frames;
}

// The CAN frames the controller took from the library, in hex.
Words CanWireTrace() {
    Words frames;
    EditLinks([&](SerialLinkState& links) {
        for (u32 i = 0; i < links.can.framesReceived && i < kCanLogCapacity; ++i) {
            u8 frame[kCanFrameBytes];
            BuildCanWireFrame(links.can.log[i], frame);
            frames.emplace_back();
            for (u8 byte : frame) frames.back() += Hex2(byte);
        }
    });
    return frames;
}

// "..." in `want` stands for any run of tokens.
bool Matches(const Words& want, std::size_t i, const Words& seen, std::size_t j) {
    if (i == want.size()) return j == seen.size();
    if (want[i] == "...") return Matches(want, i + 1, seen, j) || (j < seen.size() && Matches(want, i, seen, j + 1));
    return j < seen.size() && want[i] == seen[j] && Matches(want, i + 1, seen, j + 1);
}

void Compare(const char* what, const Step& s, const Words& seen) {
    const Words want = Split(s.rest + " " + Join(s.body));
    Expect(Matches(want, 0, seen, 0), std::string(what) + ": " + Join(want) + "\n  got: " + Join(seen));
}

// sh COMMAND [-> TEXT]: the command; with TEXT, its success and TEXT in its output.
void ShellStep(const std::string& rest) {
    const std::size_t arrow = rest.find(" -> ");
    const int code = Shell(rest.substr(0, arrow));
    if (arrow == std::string::npos) return;
    const std::string want = rest.substr(arrow + 4);
    Expect(code == 0 && g_output.find(want) != std::string::npos, "'" + want + "' from " + rest + ":\n" + g_output);
}

std::string WriteScript(const std::string& name, const Words& lines) {
    const std::string path = g_work + "/" + name + ".txt";
    std::ofstream(path) << Join(lines, "\n") << "\n";
    return path;
}

void RunScript(const Step& s) {
    Words lines = s.body;
    if (!s.rest.empty()) lines.insert(lines.begin(), s.rest);
    const int code = Wine("'" + g_bin + "/hx_e2e_runner.exe' '" + WindowsPath(WriteScript("run", lines)) + "'");
    Expect(code == 0, "every result as the script says:\n" + g_output);
}

void Do(const Step& s) {
    const Words a = Split(s.rest);
    const auto n = [&](std::size_t i) { return static_cast<u32>(std::strtoul(a[i].c_str(), nullptr, 0)); };
    if (s.word == "board") {
        Expect(SetUpModel(s.rest), "board " + s.rest + " with its SMBIOS data in the registry:\n" + g_output);
    } else if (s.word == "reg") {
        Expect(ImportReg(Join(a) + "\n" + Join(s.body, "\n")), "registry import:\n" + g_output);
    } else if (s.word == "pci" && a.size() == 4) {
        Expect(PciConfig(g_board->state.pci).Place(n(0), n(1), n(2), n(3)) != nullptr, "PCI function " + s.rest);
    } else if (s.word == "card" && a.size() == 3) {
        Expect(PlaceExpansionCard(g_board->state, n(0), n(1), n(2)), "expansion card " + s.rest);
    } else if (s.word == "inputs" && a.size() == 1) {  // the connector's active inputs, line n at bit n
        g_board->state.dioField.inputsActive = n(0);
        EditLinks([&](SerialLinkState& links) { links.mcu.diActive = static_cast<hx::u16>(n(0)); });
    } else if (s.word == "dicos-input" && a.size() == 2) {  // meanwhile: once DICOS runs, input LINE to LEVEL
        g_inputDriver = std::jthread(DriveInputOnceDicosRuns, n(0), n(1) != 0);
    } else if (s.word == "fault" && s.rest == "open") {
        g_board->state.faults.openFails = true;
    } else if (s.word == "com") {
        Expect(MapCom(a), "COM port mapped: " + s.rest);
    } else if (s.word == "sh") {
        ShellStep(s.rest);
    } else if (s.word == "script") {
        WriteScript(s.rest, s.body);
    } else if (s.word == "run") {
        RunScript(s);
    } else if (s.word == "unit") {
        const std::size_t space = s.rest.find(' ');
        const std::string args = space == std::string::npos ? "" : s.rest.substr(space);
        const int code = Wine("'" + g_bin + "/" + s.rest.substr(0, space) + "'" + args);
        std::fputs(g_output.c_str(), stdout);
        Expect(code == 0, "every unit test passes");
    } else if (s.word == "trace") {
        Compare("access trace", s, AccessTrace());
    } else if (s.word == "wire") {
        Compare("frames on the MCU link", s, WireTrace());
    } else if (s.word == "canwire") {
        Compare("frames on the CAN link", s, CanWireTrace());
    } else {
        Expect(false, "a known step, not: " + s.word + " " + s.rest);
    }
}

// Cases start at column 0 ("case NAME"), their steps at column 2, the lines
// of a step's block at column 4 or more; '#' starts a comment line.
bool ReadCases(const char* path, std::vector<Case>& cases) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const std::size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos || line[indent] == '#') continue;
        const std::string text = line.substr(indent);
        const std::size_t space = text.find(' ');
        const std::string rest = space == std::string::npos ? "" : text.substr(space + 1);
        if (indent == 0 && text.rfind("case ", 0) == 0) cases.push_back({rest, {}});
        else if (indent == 0 || cases.empty()) return false;
        else if (indent < 4) cases.back().steps.push_back({text.substr(0, space), rest, {}});
        else if (!cases.back().steps.empty()) cases.back().steps.back().body.push_back(text);
        else return false;
    }
    return !cases.empty();
}

bool MapBoardFile() {
    const std::string path = g_work + "/board.bin";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof(BoardFile)) != 0) return false;
    void* map = mmap(nullptr, sizeof(BoardFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return false;
    g_board = static_cast<BoardFile*>(map);
    return setenv(kBoardFileVariable, path.c_str(), 1) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Case> cases;
    const char* prefix = std::getenv("WINEPREFIX");
    if ((argc != 5 && argc != 6) || !prefix) {
        std::fprintf(stderr, "usage: WINEPREFIX=... hx_e2e_host WINE BINDIR WORKDIR CASES [CASE-FILTER]\n");
        return 64;
    }
    g_wine = argv[1], g_bin = argv[2], g_work = argv[3], g_prefix = prefix;
    setenv("WINE", argv[1], 1);  // for the sh steps
    setenv("BIN", argv[2], 1);
    const std::string filter = argc == 6 ? argv[5] : "";
    if (!ReadCases(argv[4], cases) || !MapBoardFile()) {
        std::printf("cannot read the cases in %s or create the board file\n0 passed, 1 failed\n", argv[4]);
        return 1;
    }
    int passed = 0, failed = 0;
    for (const Case& c : cases) {
        if (c.name.find(filter) == std::string::npos) continue;
        g_failures = 0;
        for (const Step& s : c.steps) Do(s);
        g_inputDriver = {};
        ++(g_failures ? failed : passed);
        std::printf("%s: %s\n", g_failures ? "FAILED" : "ok", c.name.c_str());
        std::fflush(stdout);
    }
    StopBoardLinks();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
