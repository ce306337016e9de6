#include "dio/outputs_off.h"

#include "core/hw_access.h"

namespace hx {
namespace {

// Output bits of the GPIO byte block (one byte per port).
constexpr u16 kBlockOut601 = 0x601;
constexpr u16 kBlockOut605 = 0x605;
constexpr u16 kBlockOut604 = 0x604;
constexpr u8 kOutBits601 = 0x03;
constexpr u8 kOutBits605 = 0x03;
constexpr u8 kOutBits604 = 0xF0;

}  // namespace

void AllOutputsOff() {
    HwClearPortBits(kBlockOut601, kOutBits601);
    HwClearPortBits(kBlockOut605, kOutBits605);
    HwClearPortBits(kBlockOut604, kOutBits604);
}

}  // namespace hx
