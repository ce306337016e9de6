#include "tests/e2e/mcu_cases.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "sim/chips/pci_config.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace hx::e2e {
namespace {

const McuHost* g_host = nullptr;

constexpr char kHklm[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\";
constexpr char kUart[] = "Enum\\ACPI\\PNP0501";
constexpr char kUsbSer[] = "Services\\usbser\\Enum";
constexpr char kLinkModel[] = "Trelo-11";  // its MCU link is the UART at 2E8h
constexpr u32 kHsuartId = 0x0F0A8086;      // device 0F0Ah, vendor 8086h
constexpr u32 kRevisionWord = 2;           // configuration offset 08h

std::string Key(const std::string& path) { return std::string("[") + kHklm + path + "]\n"; }
std::string Removed(const std::string& path) { return std::string("[-") + kHklm + path + "]\n"; }

// CM_RESOURCE_LIST with one I/O range starting at `base` (offset 24).
std::string AllocConfig(unsigned base) {
    std::string s = "\"AllocConfig\"=hex(8):01";
    for (int i = 1; i < 40; ++i) {
        const unsigned byte = i >= 24 && i < 28 ? (base >> (8 * (i - 24))) & 0xFF : 0;
        char b[8];
        std::snprintf(b, sizeof b, ",%02x", byte);
        s += b;
    }
    return s + "\n";
}

std::string Uart(const std::string& instance, unsigned base, const std::string& port, bool started = true) {
    const std::string at = std::string(kUart) + "\\" + instance;
    std::string body = Key(at) + "\n" + Key(at + "\\Device Parameters") + "\"PortName\"=\"" + port + "\"\n\n";
    if (started) body += Key(at + "\\Control") + AllocConfig(base) + "\n";
    return body;
}

bool Import(const std::string& body) {
    return g_host->importReg(Removed(kUart) + "\n" + Removed(kUsbSer) + "\n" +
                             Removed("Enum\\USB\\VID_1CBE&PID_0002") + "\n" + body);
}

void ExpectFind(unsigned kind, const std::string& expected) {
    char args[64];
    std::snprintf(args, sizeof args, "find 0x%X 10", kind);
    g_host->runProbe(args);
    const std::string& out = g_host->lastOutput();
    g_host->expect(out.rfind(expected, 0) == 0, std::string(args) + " printed: " + out);
}

void TwoUartInstances() {
    g_host->expect(Import(Uart("1", 0x3F8, "COM1") + Uart("2", 0x2E8, "COM5")), "registry import");
    ExpectFind(0x2E8, "found \\\\.\\COM5");
    ExpectFind(0x3F8, "found \\\\.\\COM1");
}

void UartWithoutControl() {
    g_host->expect(Import(Uart("1", 0x2E8, "COM2", false)), "registry import");
    ExpectFind(0x2E8, "not found");
}

void OverlongNameSkipped() {
    g_host->expect(Import(Uart("1", 0x368, "COM123456789012") + Uart("2", 0x368, "COM12")), "registry import");
    ExpectFind(0x368, "found \\\\.\\COM12");
}

std::string DriverList(const std::string& entries, int count) {
    char c[32];
    std::snprintf(c, sizeof c, "\"Count\"=dword:%08x\n", count);
    const std::string device = "Enum\\USB\\VID_1CBE&PID_0002\\6&2";
    return Key(kUsbSer) + c + entries + "\n" + Key(device) + "\n" + Key(device + "\\Device Parameters") +
           "\"PortName\"=\"COM4\"\n";
}

void DriverListHole() {
    g_host->expect(Import(DriverList("\"0\"=\"USB\\\\VID_1CBE&PID_0003\\\\5&1\"\n"
                                     "\"2\"=\"USB\\\\VID_1CBE&PID_0002\\\\6&2\"\n",
                                     3)),
                   "registry import");
    ExpectFind(0x21CBE, "not found");
}

void DriverListPrefix() {
    g_host->expect(Import(DriverList("\"0\"=\"usb\\\\vid_1cbe&pid_0002\\\\6&2\"\n"
                                     "\"1\"=\"USB\\\\VID_1CBE&PID_0002\\\\6&2\"\n",
                                     2)),
                   "registry import");
    ExpectFind(0x21CBE, "found \\\\.\\COM4");
}

void PciRevisionInKeyPath() {
    sim::PciFunctionState* f = sim::PciConfig(g_host->freshBoard()->pci).Place(0, 30, 3, kHsuartId);
    g_host->expect(f != nullptr, "PCI function placed");
    if (f) f->config[kRevisionWord] = 0x07000211;
    const std::string base = "Enum\\PCI\\VEN_8086&DEV_0F0A&SUBSYS_72708086&REV_11";
    const std::string at = "Enum\\PCI\\VEN_8086&DEV_0F0A&SUBSYS_72708086&REV_11\\3&11583659&0&F3";
    g_host->expect(Import(Removed(base) + "\n" + Key(at) + "\n" + Key(at + "\\Device Parameters") +
                          "\"PortName\"=\"COM3\"\n"),
                   "registry import");
    ExpectFind(0x8000F300, "found \\\\.\\COM3");
}

// COM5 of the prefix is the pseudo-terminal of the virtual MCU link.
bool MapCom5() {
    if (!sim::SetUpBoard(kLinkModel) || !sim::StartBoardLinks()) return false;
    const std::filesystem::path link = std::filesystem::path(g_host->prefix) / "dosdevices" / "com5";
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(sim::LinkPath(sim::LinkRole::Mcu), link, ignored);
    return !ignored && Import(Uart("1", 0x2E8, "COM5"));
}

void QueryThroughPty() {
    g_host->expect(MapCom5(), "COM5 mapped to the MCU link's terminal");
    g_host->expect(g_host->runProbe("query 0x2E8") == 0, "query: " + g_host->lastOutput());
    g_host->expect(g_host->lastOutput().find("version 00010203") != std::string::npos, g_host->lastOutput());
}

void OverlappedBenchmark() {
    g_host->expect(MapCom5(), "COM5 mapped to the MCU link's terminal");
    g_host->expect(g_host->runProbe("bench 0x2E8 2000") == 0, "bench: " + g_host->lastOutput());
    std::printf("  McuQuery against a plain overlapped exchange: %s", g_host->lastOutput().c_str());
}

}  // namespace

void RunMcuCases(const McuHost& host) {
    g_host = &host;
    host.runCase("MCU port: two UART instances told apart by I/O base", TwoUartInstances);
    host.runCase("MCU port: a UART without Control key is never chosen", UartWithoutControl);
    host.runCase("MCU port: a port name that does not fit is skipped", OverlongNameSkipped);
    host.runCase("MCU port: a hole in the driver list's Count ends the search", DriverListHole);
    host.runCase("MCU port: the driver-list prefix is compared case-sensitively", DriverListPrefix);
    host.runCase("MCU port: the PCI UART's key path carries its revision", PciRevisionInKeyPath);
    host.runCase("MCU link: version query on COM5 mapped to a pseudo-terminal", QueryThroughPty);
    host.runCase("MCU link: benchmark against a plain overlapped exchange", OverlappedBenchmark);
    sim::StopBoardLinks();
    g_host = nullptr;
}

}  // namespace hx::e2e
