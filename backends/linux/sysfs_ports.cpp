#include "backends/linux/sysfs_ports.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/port_kind.h"

namespace hx::os {
namespace {

constexpr u32 kPathChars = 16;  // the link's device path, NUL included
constexpr char kDevPrefix[] = "/dev/";
constexpr char kTtyClass[] = "/class/tty";
constexpr std::size_t kValueMax = 64;
constexpr int kMaxAncestors = 12;

// PCI configuration address fields.
constexpr u32 kPciEnable = 0x80000000u;
constexpr u32 kPciBusShift = 16, kPciDeviceShift = 11, kPciFunctionShift = 8;
constexpr u32 kPciBusMask = 0xFF, kPciDeviceMask = 0x1F, kPciFunctionMask = 0x7;
constexpr u32 kPciRegisterMask = 0xFF;

// The chipset high-speed UARTs: the PCI function a kind addresses must carry
// these ids, whatever else the board puts in that slot.
constexpr u32 kPciVendorIntel = 0x8086;
struct PciUart {
    u32 kind;
    u32 device;
};
constexpr PciUart kPciUarts[] = {{kPortHsuart0F0A, 0x0F0A}, {kPortHsuart0F0C, 0x0F0C}};

// The tty's "type" attribute: the UART model the serial core found, 0 when
// none answered.
constexpr u32 kUartTypeUnknown = 0;
constexpr int kHex = 16, kDecimal = 10;

enum class Search { None, UartBase, Usb, Pci };

Search SearchFor(u32 kind) {
    switch (kind) {
        case kPortUart2E0: case kPortUart2E8: case kPortUart2F8:
        case kPortUart368: case kPortUart3E8: case kPortUart3F8: return Search::UartBase;
        case kPortUsbCdc1CBE: case kPortUsbFtdi6015: return Search::Usb;
        case kPortHsuart0F0A: case kPortHsuart0F0C: return Search::Pci;
        default: return Search::None;
    }
}

// Reads a small sysfs attribute; false when missing or empty.
bool ReadValue(const SysfsCalls& fs, const char* path, char* out, std::size_t capacity) {
    const int fd = fs.open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t n = fs.read(fd, out, capacity - 1);
    fs.close(fd);
    if (n <= 0) return false;
    out[n] = '\0';
    return true;
}

bool ReadNumber(const SysfsCalls& fs, const char* path, int base, u32* value) {
    char text[kValueMax];
    if (!ReadValue(fs, path, text, sizeof text)) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, base);
    if (end == text) return false;
    *value = static_cast<u32>(v);
    return true;
}

bool Join(char* out, const char* a, const char* b, const char* c = "") {
    const int n = std::snprintf(out, PATH_MAX, "%s%s%s", a, b, c);
    return n > 0 && n < PATH_MAX;
}

bool Exists(const SysfsCalls& fs, const char* path) { return fs.access(path, F_OK) == 0; }

// The legacy UART with this I/O base, counted only while it is started (the
// registry's "Control" key exists only for started devices): a driver has
// the port and found a UART there. The 8250 driver registers placeholders at
// 3F8h, 2F8h, 3E8h and 2E8h on every PC, bound to it, of type 0 when no UART
// answers.
bool UartMatches(const SysfsCalls& fs, const char* tty, u32 base) {
    char path[PATH_MAX];
    u32 value = 0, type = kUartTypeUnknown;
    if (!Join(path, tty, "/port") || !ReadNumber(fs, path, kHex, &value) || value != base) return false;
    if (!Join(path, tty, "/type") || !ReadNumber(fs, path, kDecimal, &type) || type == kUartTypeUnknown) return false;
    return Join(path, tty, "/device/driver") && Exists(fs, path);
}

// Walks from the tty's device towards the root of the tree; `test` decides
// on each ancestor: 1 match, -1 no match (stop), 0 go on.
template <typename Test>
bool AncestorMatches(const SysfsCalls& fs, const char* tty, const char* rootReal, Test test) {
    char link[PATH_MAX];
    char dir[PATH_MAX];
    if (!Join(link, tty, "/device") || !fs.realpath(link, dir)) return false;
    // Only directories below the root: "/sysfoo" does not lie below "/sys".
    const std::size_t rootLength = std::strcmp(rootReal, "/") == 0 ? 0 : std::strlen(rootReal);
    for (int depth = 0; depth < kMaxAncestors; ++depth) {
        if (std::strncmp(dir, rootReal, rootLength) != 0 || dir[rootLength] != '/' || dir[rootLength + 1] == '\0') {
            return false;
        }
        const int verdict = test(dir);
        if (verdict != 0) return verdict > 0;
        char* slash = std::strrchr(dir, '/');
        if (!slash) return false;
        *slash = '\0';
    }
    return false;
}

int UsbVerdict(const SysfsCalls& fs, const char* dir, u32 kind) {
    char path[PATH_MAX];
    u32 vendor = 0, product = 0;
    if (!Join(path, dir, "/idVendor") || !ReadNumber(fs, path, kHex, &vendor)) return 0;
    if (!Join(path, dir, "/idProduct") || !ReadNumber(fs, path, kHex, &product)) return -1;
    return (product << 16 | vendor) == kind ? 1 : -1;
}

// The ancestor that is the kind's PCI function decides by its ids.
int PciVerdict(const SysfsCalls& fs, const char* dir, const char* function, u32 device) {
    const char* base = std::strrchr(dir, '/');
    if (!base || std::strcmp(base + 1, function) != 0) return 0;
    char path[PATH_MAX];
    u32 vendorId = 0, deviceId = 0;
    const bool ids = Join(path, dir, "/vendor") && ReadNumber(fs, path, kHex, &vendorId) &&
                     Join(path, dir, "/device") && ReadNumber(fs, path, kHex, &deviceId);
    return ids && vendorId == kPciVendorIntel && deviceId == device ? 1 : -1;
}

u32 PciUartDevice(u32 kind) {
    for (const PciUart& u : kPciUarts) {
        if (u.kind == kind) return u.device;
    }
    return 0;
}

// "0000:BB:DD.F", the sysfs name of the PCI function that a kind addresses.
bool PciName(u32 kind, char* out, std::size_t capacity) {
    if ((kind & kPciEnable) == 0 || (kind & kPciRegisterMask) != 0) return false;
    std::snprintf(out, capacity, "0000:%02x:%02x.%x", (kind >> kPciBusShift) & kPciBusMask,
                  (kind >> kPciDeviceShift) & kPciDeviceMask, (kind >> kPciFunctionShift) & kPciFunctionMask);
    return true;
}

// Natural order of tty names: ttyS2 before ttyS10, then plain text order.
bool NameBefore(const char* a, const char* b) {
    const std::size_t la = std::strlen(a), lb = std::strlen(b);
    std::size_t da = la, db = lb;
    while (da > 0 && a[da - 1] >= '0' && a[da - 1] <= '9') --da;
    while (db > 0 && b[db - 1] >= '0' && b[db - 1] <= '9') --db;
    const int stem = std::strncmp(a, b, da < db ? da : db);
    if (da != db || stem != 0) return std::strcmp(a, b) < 0;
    if (la - da != lb - db) return la - da < lb - db;  // fewer digits: smaller number
    return std::strcmp(a + da, b + db) < 0;
}

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

long SystemGetdents(int fd, void* buffer, std::size_t count) { return syscall(SYS_getdents64, fd, buffer, count); }
int SystemOpen(const char* path, int flags) { return ::open(path, flags); }

}  // namespace

const SysfsCalls kSystemSysfsCalls{SystemOpen, ::read, ::close, ::access, ::realpath, SystemGetdents};

bool FindPortInSysfs(const char* root, u32 portKind, char* path) {
    return FindPortInSysfs(kSystemSysfsCalls, root, portKind, path);
}

bool FindPortInSysfs(const SysfsCalls& fs, const char* root, u32 portKind, char* path) {
    const Search search = SearchFor(portKind);
    if (search == Search::None) return false;
    char pciFunction[kValueMax];
    if (search == Search::Pci && !PciName(portKind, pciFunction, sizeof pciFunction)) return false;
    const u32 pciDevice = PciUartDevice(portKind);

    char rootReal[PATH_MAX];
    char classDir[PATH_MAX];
    if (!fs.realpath(root, rootReal) || !Join(classDir, rootReal, kTtyClass)) return false;
    const int dirFd = fs.open(classDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;

    char best[kPathChars] = "";
    alignas(8) char entries[4096];
    for (;;) {
        const long n = fs.getdents(dirFd, entries, sizeof entries);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            const auto* e = reinterpret_cast<const LinuxDirent64*>(entries + at);
            at += e->d_reclen;
            const char* name = e->d_name;
            if (name[0] == '.') continue;
            if (std::strlen(kDevPrefix) + std::strlen(name) >= kPathChars) continue;  // would not fit
            if (best[0] && !NameBefore(name, best + std::strlen(kDevPrefix))) continue;
            char tty[PATH_MAX];
            if (!Join(tty, classDir, "/", name)) continue;
            bool match = false;
            switch (search) {
                case Search::UartBase: match = UartMatches(fs, tty, portKind); break;
                case Search::Usb:
                    match = AncestorMatches(fs, tty, rootReal, [&](const char* d) { return UsbVerdict(fs, d, portKind); });
                    break;
                case Search::Pci:
                    match = AncestorMatches(fs, tty, rootReal,
                                            [&](const char* d) { return PciVerdict(fs, d, pciFunction, pciDevice); });
                    break;
                case Search::None: break;
            }
            if (match) std::snprintf(best, sizeof best, "%s%s", kDevPrefix, name);
        }
    }
    fs.close(dirFd);
    if (!best[0]) return false;
    std::memcpy(path, best, sizeof best);
    return true;
}

}  // namespace hx::os
