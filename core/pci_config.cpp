#include "core/pci_config.h"

#include "core/hw_access.h"

namespace hx {
namespace {

constexpr u16 kPciConfigAddressPort = 0xCF8;
constexpr u16 kPciConfigDataPort = 0xCFC;
constexpr u8 kDword = 4;

}  // namespace

u32 PciConfigRead32(u32 configAddress) {
    HwWritePort(kPciConfigAddressPort, configAddress, kDword);
    u32 value = 0;
    HwReadPort(kPciConfigDataPort, &value, kDword);
    return value;
}

}  // namespace hx
