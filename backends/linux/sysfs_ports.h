// COM-port discovery on Linux: the sysfs counterpart of the Windows registry
// search. The sysfs root is a parameter so that tests can hand over a tree of
// their own.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "core/types.h"

namespace hx::os {

inline constexpr char kSysfsRoot[] = "/sys";

// The file-system calls the search makes, with the system's signatures
// (getdents: linux_dirent64 records). The system's by default; the fuzzer
// hands over a tree kept in memory.
struct SysfsCalls {
    int (*open)(const char* path, int flags);
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    int (*close)(int fd);
    int (*access)(const char* path, int mode);
    char* (*realpath)(const char* path, char* resolved);  // resolved: PATH_MAX bytes
    long (*getdents)(int fd, void* buffer, std::size_t count);
};
extern const SysfsCalls kSystemSysfsCalls;

// Finds the tty of `portKind` below `root` (normally "/sys") and stores
// "/dev/<name>" into `path` (16 characters with the NUL). Several candidates:
// the lowest tty name in natural order (ttyS2 before ttyS10). A name that
// does not fit is skipped. Kinds:
// - a legacy UART I/O base: class/tty/<name>/port holds that base, its type
//   is not 0 (a UART answered) and the port is bound to a driver
//   (device/driver exists);
// - product << 16 | vendor: a USB ancestor of the tty's device carries that
//   idVendor and idProduct;
// - a PCI configuration address (80000000h | bus << 16 | device << 11 |
//   function << 8): an ancestor of the tty's device is that PCI function and
//   carries the ids of the kind's UART (8086:0F0A, 8086:0F0C).
bool FindPortInSysfs(const char* root, u32 portKind, char* path);
bool FindPortInSysfs(const SysfsCalls& fs, const char* root, u32 portKind, char* path);

}  // namespace hx::os
