// COM-port discovery on Linux: the sysfs counterpart of the Windows registry
// search. The sysfs root is a parameter so that tests can hand over a tree of
// their own.
#pragma once

#include "core/types.h"

namespace hx::os {

inline constexpr char kSysfsRoot[] = "/sys";

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

}  // namespace hx::os
