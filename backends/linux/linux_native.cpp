#include "backends/linux/linux_native.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define HX_HAVE_PORT_IO 1
#else
#define HX_HAVE_PORT_IO 0
#endif

#include "os/os.h"
#include "backends/linux/sysfs_ports.h"

namespace hx::os {
namespace {

constexpr char kDmiTable[] = "/sys/firmware/dmi/tables/DMI";
constexpr char kDevMem[] = "/dev/mem";
constexpr int kIoplAllPorts = 3;
constexpr std::size_t kMessageMax = 256;

int g_mem = -1;
long g_pageSize = 4096;

void ReportOpenFailure(const char* what, int error) {
    char line[kMessageMax];
    std::snprintf(line, sizeof line,
                  "hardware access unavailable: %s failed (%s); run as root on the board "
                  "(or use libhalvex32-virtual.so without the hardware)",
                  what, std::strerror(error));
    Diagnostic(line);
}

bool Open() {
#if HX_HAVE_PORT_IO
    if (iopl(kIoplAllPorts) != 0) {
        ReportOpenFailure("iopl(3)", errno);
        return false;
    }
#else
    ReportOpenFailure("port I/O", ENOSYS);
    return false;
#endif
    g_mem = ::open(kDevMem, O_RDWR | O_SYNC | O_CLOEXEC);
    if (g_mem < 0) {
        ReportOpenFailure("opening /dev/mem", errno);
        return false;
    }
    g_pageSize = sysconf(_SC_PAGESIZE);
    return true;
}

void Close() {
    if (g_mem >= 0) ::close(g_mem);
    g_mem = -1;
}

bool ReadPort(u16 port, u32* value, u8 size) {
#if HX_HAVE_PORT_IO
    switch (size) {
        case 1: *value = inb(port); return true;
        case 2: *value = inw(port); return true;
        case 4: *value = inl(port); return true;
        default: return false;
    }
#else
    (void)port, (void)value, (void)size;
    return false;
#endif
}

bool WritePort(u16 port, u32 value, u8 size) {
#if HX_HAVE_PORT_IO
    switch (size) {
        case 1: outb(static_cast<u8>(value), port); return true;
        case 2: outw(static_cast<u16>(value), port); return true;
        case 4: outl(value, port); return true;
        default: return false;
    }
#else
    (void)port, (void)value, (void)size;
    return false;
#endif
}

// Maps the page holding one aligned 32-bit word for the duration of one access.
volatile u32* MapWord(u32 address, void** page) {
    if (g_mem < 0 || (address & 3u) != 0) return nullptr;
    const off_t base = static_cast<off_t>(address) & ~static_cast<off_t>(g_pageSize - 1);
    void* map = mmap(nullptr, static_cast<size_t>(g_pageSize), PROT_READ | PROT_WRITE, MAP_SHARED, g_mem, base);
    if (map == MAP_FAILED) return nullptr;
    *page = map;
    return reinterpret_cast<volatile u32*>(static_cast<char*>(map) + (address - base));
}

bool ReadPhys32(u32 address, u32* value) {
    void* page = nullptr;
    volatile u32* word = MapWord(address, &page);
    if (!word) return false;
    *value = *word;
    munmap(page, static_cast<size_t>(g_pageSize));
    return true;
}

bool WritePhys32(u32 address, u32 value) {
    void* page = nullptr;
    volatile u32* word = MapWord(address, &page);
    if (!word) return false;
    *word = value;
    munmap(page, static_cast<size_t>(g_pageSize));
    return true;
}

SmbiosRead ReadSmbios(u8* buffer, u32 capacity) { return ReadSmbiosFile(kDmiTable, buffer, capacity); }

u32 KernelMajor() {
    utsname u{};
    if (uname(&u) != 0) return 0;
    return static_cast<u32>(std::strtoul(u.release, nullptr, 10));
}

bool FindMcuPort(u32 portKind, PathChar* path) { return FindPortInSysfs(kSysfsRoot, portKind, path); }

constexpr Backend kLinuxNative{
    "linux-native",
    {Open, Close, ReadPort, WritePort, ReadPhys32, WritePhys32},
    {ReadSmbios, KernelMajor, FindMcuPort},
};

}  // namespace

SmbiosRead ReadSmbiosFile(const char* path, u8* buffer, u32 capacity) {
    SmbiosRead r;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return r;
    r.found = true;
    r.isBinary = true;
    u32 total = 0;
    while (total < capacity) {
        const ssize_t n = ::read(fd, buffer + total, capacity - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<u32>(n);
    }
    // sysfs reports no size for the table file: count what lies beyond.
    u32 beyond = 0;
    u8 scratch[256];
    for (ssize_t n; (n = ::read(fd, scratch, sizeof scratch)) > 0;) beyond += static_cast<u32>(n);
    ::close(fd);
    r.writtenLength = total;
    r.reportedLength = total + beyond;
    return r;
}

const Backend* LinuxNativeBackend() { return &kLinuxNative; }

}  // namespace hx::os
