// MCU port discovery: the sysfs search on trees made by the test, and the
// Windows registry search on a registry made by the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/port_kind.h"
#include "mcu/registry_search.h"
#include "backends/linux/sysfs_ports.h"
#include "tests/unit/virtual_fixture.h"

namespace hx::test {
namespace {

namespace fs = std::filesystem;

// ---- sysfs --------------------------------------------------------------------

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/hx-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "class/tty");
    }
    void TearDown() override { fs::remove_all(root_); }

    static void Write(const fs::path& file, const std::string& text, const char* end = "\n") {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << end;
    }
    // class/tty/<name> with its device link to `device` (below devices/).
    fs::path Tty(const std::string& name, const std::string& device) {
        const fs::path dev = root_ / "devices" / device;
        fs::create_directories(dev);
        const fs::path tty = root_ / "class/tty" / name;
        fs::create_directories(tty);
        fs::create_directory_symlink(dev, tty / "device");
        return dev;
    }
    std::string Find(u32 kind) {
        char path[os::kPortPathChars] = {};
        return os::FindPortInSysfs(root_.c_str(), kind, path) ? path : "(none)";
    }
    fs::path root_;
};

// The ttys of a PC: name, device below devices/, and for legacy UARTs the
// I/O base, the UART type and the driver that has the port. Type 0 marks a
// placeholder that the 8250 driver registers at a standard base whether or
// not a UART is there.
constexpr const char* kTtys[][5] = {
    {"ttyS0", "pnp0/00:01", "0x3F8", "4", "serial"},
    {"ttyS1", "platform/serial8250", "0x2F8", "0", "serial8250"},
    {"ttyS2", "platform/serial8250", "0x3E8", "0", "serial8250"},
    {"ttyS3", "platform/serial8250", "0x2E8", "0", "serial8250"},
    {"ttyS8", "pnp0/00:08", "0x2e8", "4", nullptr},
    {"ttyS10", "pnp0/00:0a", "0x2E8", "4", "serial"},
    {"ttyS9", "pnp0/00:09", "0x368", "4", "serial"},
    {"ttyS12", "pnp0/00:0c", "0x368", "4", "serial"},
    {"ttyS1234567890", "pnp0/00:0e", "0x2E0", "4", "serial"},  // /dev/ + 14 characters does not fit
    {"ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0"},
    {"ttyACM1", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0"},
    {"ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB0"},
    {"ttyS4", "pci0000:00/0000:00:1e.3/dw-apb-uart.2"},
    {"ttyS5", "pci0000:00/0000:00:1e.4/dw-apb-uart.3"},
};
// Id files of the USB devices and PCI functions above (below devices/).
constexpr const char* kIds[][2] = {
    {"pci0000:00/0000:00:14.0/usb1/1-1/idVendor", "1cbe"}, {"pci0000:00/0000:00:14.0/usb1/1-1/idProduct", "0003"},
    {"pci0000:00/0000:00:14.0/usb1/1-2/idVendor", "1cbe"}, {"pci0000:00/0000:00:14.0/usb1/1-2/idProduct", "0002"},
    {"pci0000:00/0000:00:14.0/usb1/1-3/idVendor", "0403"}, {"pci0000:00/0000:00:14.0/usb1/1-3/idProduct", "6015"},
    {"pci0000:00/0000:00:1e.3/vendor", "0x8086"},          {"pci0000:00/0000:00:1e.3/device", "0x0f0a"},
    {"pci0000:00/0000:00:1e.4/vendor", "0x8086"},          {"pci0000:00/0000:00:1e.4/device", "0x9d28"},
};

TEST_F(SysfsTree, EachKindFindsOnlyAStartedPortOfItsOwnHardware) {
    for (const auto& [name, device, ioBase, type, driver] : kTtys) {
        const fs::path dev = Tty(name, device);
        if (!ioBase) continue;
        Write(root_ / "class/tty" / name / "port", ioBase);
        Write(root_ / "class/tty" / name / "type", type);
        if (!driver || fs::exists(dev / "driver")) continue;
        fs::create_directories(root_ / "bus/drivers" / driver);
        fs::create_directory_symlink(root_ / "bus/drivers" / driver, dev / "driver");
    }
    for (const auto& [file, value] : kIds) Write(root_ / "devices" / file, value);
    const std::pair<u32, const char*> rows[] = {
        {kPortUart3F8, "/dev/ttyS0"},
        {kPortUart2F8, "(none)"},  // a placeholder only
        {kPortUart3E8, "(none)"},
        {kPortUart2E8, "/dev/ttyS10"},  // neither the placeholder ttyS3 nor the unbound ttyS8
        {kPortUart368, "/dev/ttyS9"},   // ttyS9 before ttyS12
        {kPortUart2E0, "(none)"},
        {kPortUsbCdc1CBE, "/dev/ttyACM1"},  // not product 0003
        {kPortUsbFtdi6015, "/dev/ttyUSB0"},
        {kPortHsuart0F0A, "/dev/ttyS4"},
        {kPortHsuart0F0C, "(none)"},  // 00:1e.4 holds another device
        {0x12345678, "(none)"},
    };
    for (const auto& [kind, port] : rows) EXPECT_EQ(Find(kind), port) << std::hex << kind;
}

// Attribute files as a broken driver may leave them (no newline, kilobytes
// long, a NUL first, empty) and a device link that loops: only the first 63
// bytes are read, and nothing matches that does not parse as the kind.
TEST_F(SysfsTree, OddAttributeFilesAndLinkLoopsAreReadWithinBounds) {
    const struct {
        std::string port, type;
        const char* expected;
    } rows[] = {
        {"0x3F8", "4", "/dev/ttyS0"},
        {std::string(100000, '0') + "3F8", "4", "(none)"},
        {std::string("\0x3F8", 6), "4", "(none)"},
        {"0x3F8", "", "(none)"},
        {"0x3F8" + std::string(100000, 'z'), std::string(70000, '4'), "/dev/ttyS0"},
    };
    for (const auto& row : rows) {
        fs::remove_all(root_ / "class/tty");
        const fs::path dev = Tty("ttyS0", "pnp0/00:01");
        fs::create_directories(dev / "driver");
        Write(root_ / "class/tty/ttyS0/port", row.port, "");
        Write(root_ / "class/tty/ttyS0/type", row.type, "");
        EXPECT_EQ(Find(kPortUart3F8), row.expected) << row.port.substr(0, 8);
    }
    fs::remove_all(root_ / "class/tty");
    fs::create_directories(root_ / "class/tty/ttyACM0");
    fs::create_symlink("device", root_ / "class/tty/ttyACM0/device");  // a link to itself
    Write(root_ / "class/tty/ttyACM0/port", "0x3F8");
    Write(root_ / "class/tty/ttyACM0/type", "4");
    for (const u32 kind : {kPortUart3F8, kPortUsbCdc1CBE, kPortHsuart0F0A}) EXPECT_EQ(Find(kind), "(none)");
}

// A device link that leaves the tree for a directory beside it whose name
// begins with the root's: its ids are not looked at.
TEST_F(SysfsTree, AncestorsBesideTheRootAreNotSearched) {
    const fs::path beside = root_.string() + "-beside";
    Write(beside / "usb/idVendor", "1cbe");
    Write(beside / "usb/idProduct", "0002");
    fs::create_directories(beside / "usb/1-1:1.0");
    fs::create_directories(root_ / "class/tty/ttyACM0");
    fs::create_directory_symlink(beside / "usb/1-1:1.0", root_ / "class/tty/ttyACM0/device");
    EXPECT_EQ(Find(kPortUsbCdc1CBE), "(none)");
    fs::remove_all(beside);
}

// ---- the registry ---------------------------------------------------------------

struct FakeKey {
    std::vector<std::u16string> subKeys;
    std::map<std::u16string, std::vector<u8>> values;
};

struct FakeRegistry {
    std::map<std::u16string, FakeKey> keys;
    std::vector<std::u16string> opened;  // every path asked for, as asked
    int openNow = 0;
    std::vector<std::u16string> openable;  // device paths the test open accepts
};
FakeRegistry* g_reg = nullptr;

std::u16string Trimmed(std::u16string p) {
    while (!p.empty() && p.back() == u'\\') p.pop_back();
    return p;
}

RegKey OpenKey(const RegChar* path) {
    g_reg->opened.emplace_back(path);
    const auto it = g_reg->keys.find(Trimmed(path));
    if (it == g_reg->keys.end()) return kNoRegKey;
    ++g_reg->openNow;
    return reinterpret_cast<RegKey>(&it->second);
}
const FakeKey& Key(RegKey k) { return *reinterpret_cast<const FakeKey*>(k); }
bool SubKeyCount(RegKey k, u32* n) {
    *n = static_cast<u32>(Key(k).subKeys.size());
    return true;
}
bool EnumSubKey(RegKey k, u32 i, RegChar* name, u32 capacity) {
    const auto& sub = Key(k).subKeys;
    if (i >= sub.size() || sub[i].size() >= capacity) return false;
    std::copy(sub[i].c_str(), sub[i].c_str() + sub[i].size() + 1, name);
    return true;
}
bool QueryValue(RegKey k, const RegChar* name, u8* data, u32* size) {
    const auto& v = Key(k).values;
    const auto it = v.find(name);
    if (it == v.end() || it->second.size() > *size) return false;
    std::copy(it->second.begin(), it->second.end(), data);
    *size = static_cast<u32>(it->second.size());
    return true;
}
void CloseKey(RegKey) { --g_reg->openNow; }
bool TestOpen(const RegChar* path) { return std::ranges::count(g_reg->openable, std::u16string(path)) > 0; }
constexpr RegistrySource kFake{OpenKey, SubKeyCount, EnumSubKey, QueryValue, CloseKey, TestOpen};

std::vector<u8> Sz(const std::u16string& text) {
    std::vector<u8> bytes;
    for (char16_t c : text + u'\0') {
        bytes.push_back(static_cast<u8>(c));
        bytes.push_back(static_cast<u8>(c >> 8));
    }
    return bytes;
}
std::vector<u8> Bare(const std::u16string& text) {  // without the NUL
    std::vector<u8> bytes = Sz(text);
    bytes.resize(bytes.size() - 2);
    return bytes;
}
std::vector<u8> Dword(u32 v) { return {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}; }
std::vector<u8> AllocConfig(u32 ioBase) {
    std::vector<u8> bytes(40, 0);
    bytes[0] = 1;  // one full descriptor
    for (int i = 0; i < 4; ++i) bytes[24 + i] = static_cast<u8>(ioBase >> (8 * i));
    return bytes;
}

const std::u16string kUart = u"SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501";
const std::u16string kUsbSer = u"SYSTEM\\CurrentControlSet\\Services\\usbser\\Enum";
const std::u16string kEnum = u"SYSTEM\\CurrentControlSet\\Enum\\";

class Registry : public VirtualBoardTest {
protected:
    void SetUp() override {
        VirtualBoardTest::SetUp();
        g_reg = &reg_;
    }
    void TearDown() override {
        EXPECT_EQ(reg_.openNow, 0) << "every key opened is closed again";
        g_reg = nullptr;
        VirtualBoardTest::TearDown();
    }
    void Instance(const std::u16string& base, const std::u16string& name, const std::u16string& port,
                  bool started = true) {
        reg_.keys[base].subKeys.push_back(name);
        reg_.keys[base + u"\\" + name];
        if (started) reg_.keys[base + u"\\" + name + u"\\Control"];
        reg_.keys[base + u"\\" + name + u"\\Device Parameters"].values[u"PortName"] = Sz(port);
    }
    void Uart(const std::u16string& name, u32 base, const std::u16string& port, bool started = true) {
        Instance(kUart, name, port, started);
        if (started) reg_.keys[kUart + u"\\" + name + u"\\Control"].values[u"AllocConfig"] = AllocConfig(base);
    }
    std::u16string Find(u32 kind, u32 osMajor = 10) {
        RegChar path[kDevicePathChars] = {};
        return RegistryFindMcuPort(kFake, osMajor, kind, path) ? std::u16string(path) : u"(none)";
    }
    bool Opened(const std::u16string& path) const { return std::ranges::count(reg_.opened, path) > 0; }
    FakeRegistry reg_;
};

// Only started instances (with a Control key) count, and only port names
// that fit the link's path.
TEST_F(Registry, EachUartKindFindsTheStartedInstanceAtItsIoBase) {
    Uart(u"1", 0x3F8, u"COM1");
    Uart(u"2", 0x2E8, u"COM2", false);
    Uart(u"3", 0x2E8, u"COM12");
    Uart(u"4", 0x368, u"COM123456789012");
    Uart(u"5", 0x368, u"COM3");
    const std::pair<u32, std::u16string> rows[] = {
        {kPortUart3F8, u"\\\\.\\COM1"}, {kPortUart2E8, u"\\\\.\\COM12"}, {kPortUart368, u"\\\\.\\COM3"}, {kPortUart2E0, u"(none)"}};
    for (const auto& [kind, port] : rows) EXPECT_EQ(Find(kind), port) << std::hex << kind;
    reg_.opened.clear();
    EXPECT_EQ(Find(0x1234), u"(none)");
    EXPECT_TRUE(reg_.opened.empty());  // an unknown kind touches no key
}

// PortName values as a driver may leave them: without their NUL, of an odd
// byte count, too long for the link's 15 characters, longer than the room the
// read offers. The text is taken up to the bytes returned; what does not fit
// is skipped.
TEST_F(Registry, PortNamesOfAnyShapeAreTakenOnlyWhenTheyFit) {
    std::vector<u8> odd = Bare(u"COM5");
    odd.push_back('7');
    const std::pair<std::vector<u8>, std::u16string> rows[] = {
        {Bare(u"COM5"), u"\\\\.\\COM5"},
        {odd, u"\\\\.\\COM5"},
        {Bare(u"COM45678901"), u"\\\\.\\COM45678901"},  // 15 characters
        {Bare(u"COM456789012"), u"(none)"},
        {Sz(std::u16string(300, u'C')), u"(none)"},
        {std::vector<u8>(kPortNameBytes + 1, 'A'), u"(none)"},  // larger than the room
    };
    for (const auto& [value, expected] : rows) {
        reg_.keys.clear();
        Uart(u"1", 0x3F8, u"");
        reg_.keys[kUart + u"\\1\\Device Parameters"].values[u"PortName"] = value;
        EXPECT_EQ(Find(kPortUart3F8), expected) << value.size();
    }
}

// Instance names longer than the 255 characters enumerated, or than the key
// path holds, and list entries without a NUL too long for the key path are
// passed over; the next candidate is taken.
TEST_F(Registry, OverlongNamesAndListEntriesAreSkipped) {
    Uart(std::u16string(300, u'9'), 0x3F8, u"COM1");
    Uart(std::u16string(250, u'8'), 0x3F8, u"COM2");
    Uart(u"3", 0x3F8, u"COM3");
    EXPECT_EQ(Find(kPortUart3F8), u"\\\\.\\COM3");
    const std::vector<u8> longEntry = Bare(u"USB\\VID_1CBE&PID_0002\\" + std::u16string(1000, u'x'));
    reg_.keys[kUsbSer].values = {{u"Count", Dword(2)}, {u"0", longEntry}, {u"1", Sz(u"USB\\VID_1CBE&PID_0002\\6&2")}};
    reg_.keys[kEnum + u"USB\\VID_1CBE&PID_0002\\6&2\\Device Parameters"].values[u"PortName"] = Sz(u"COM4");
    EXPECT_EQ(Find(kPortUsbCdc1CBE), u"\\\\.\\COM4");
}

TEST_F(Registry, TheDriverListStopsAtAHoleInItsCount) {
    auto& list = reg_.keys[kUsbSer];
    list.values[u"Count"] = Dword(3);
    list.values[u"0"] = Sz(u"USB\\VID_1CBE&PID_0003\\5&1");
    list.values[u"2"] = Sz(u"USB\\VID_1CBE&PID_0002\\6&2");
    reg_.keys[kEnum + u"USB\\VID_1CBE&PID_0002\\6&2\\Device Parameters"].values[u"PortName"] = Sz(u"COM4");
    EXPECT_EQ(Find(kPortUsbCdc1CBE), u"(none)");
    list.values[u"1"] = Sz(u"usb\\vid_1cbe&pid_0002\\6&2");  // other case: no match
    EXPECT_EQ(Find(kPortUsbCdc1CBE), u"\\\\.\\COM4");
}

// The FTDI driver lists its ports by their FTDI bus instance: the prefix
// "FTDIBUS\VID_0403+PID_6015+", the serial number, the port's index.
TEST_F(Registry, TheFtdiDriverListTakesOnlyInstancesOfItsOwnPrefix) {
    const struct {
        const char16_t* entry;
        bool taken;
    } rows[] = {
        {u"FTDIBUS\\VID_0403+PID_6015+FT4ZK1A\\0000", true},
        {u"FTDIBUS\\VID_0403+PID_6001+FT4ZK1A\\0000", false},
        {u"FTDIBUS\\VID_0403+PID_6015\\0000", false},  // the prefix ends in '+'
    };
    for (const auto& row : rows) {
        reg_.keys.clear();
        reg_.keys[u"SYSTEM\\CurrentControlSet\\Services\\FTSER2K\\Enum"].values = {{u"Count", Dword(1)},
                                                                                 {u"0", Sz(row.entry)}};
        reg_.keys[kEnum + row.entry + u"\\Device Parameters"].values[u"PortName"] = Sz(u"COM7");
        EXPECT_EQ(Find(kPortUsbFtdi6015), row.taken ? u"\\\\.\\COM7" : u"(none)");
    }
}

TEST_F(Registry, TheOsVersionChoosesBetweenDriverListAndDeviceEnumeration) {
    const std::u16string usbEnum = u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1CBE&PID_0002\\";
    Instance(Trimmed(usbEnum), u"7&1", u"COM6");
    EXPECT_EQ(Find(kPortUsbCdc1CBE, 10), u"(none)");
    EXPECT_FALSE(Opened(usbEnum));
    EXPECT_TRUE(Opened(kUsbSer));
    reg_.opened.clear();
    EXPECT_EQ(Find(kPortUsbCdc1CBE, 6), u"\\\\.\\COM6");
    EXPECT_FALSE(Opened(kUsbSer));
}

TEST_F(Registry, FtdiBelowVersion10TakesTheFirstInstanceThatOpens) {
    const std::u16string ftdi = u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
    Instance(ftdi, u"VID_0403+PID_6001+X", u"COM2");  // other product: never looked into
    reg_.keys[ftdi].subKeys.push_back(u"VID_0403+PID_6015+A1");
    Instance(ftdi + u"\\VID_0403+PID_6015+A1", u"0000", u"COM8");
    Instance(ftdi + u"\\VID_0403+PID_6015+A1", u"0001", u"COM9");
    reg_.openable = {u"\\\\.\\COM9", u"\\\\.\\COM2"};
    EXPECT_EQ(Find(kPortUsbFtdi6015, 6), u"\\\\.\\COM9");
}

TEST_F(Registry, ThePciUartKeyCarriesTheRevisionInUpperCaseHex) {
    LoadModel("Vexa-01");
    sim::PciFunctionState* uart = sim::ThePci().Place(0, 30, 3, 0);
    ASSERT_NE(uart, nullptr);
    uart->config[2] = 0x07000211;  // class and revision 11h
    const std::u16string key =
        u"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_0F0A&SUBSYS_72708086&REV_11\\";
    Instance(Trimmed(key), u"3&11583659&0&F3", u"COM3");
    EXPECT_EQ(Find(kPortHsuart0F0A), u"\\\\.\\COM3");
    EXPECT_TRUE(Opened(key));
}

}  // namespace
}  // namespace hx::test
