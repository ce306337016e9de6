// DIO families that reach the lines by registers: the GPIO byte block in port
// space (D1..D6, D11), the 29Eh/29Fh pair (D9) and memory-mapped pads (D10).
#pragma once

#include "core/platform_ops.h"
#include "dio/port_dio.h"

namespace hx {

// Byte registers of the GPIO block and of the pair.
inline constexpr u16 kBlock600 = 0x600;
inline constexpr u16 kBlock601 = 0x601;
inline constexpr u16 kBlock603 = 0x603;
inline constexpr u16 kBlock604 = 0x604;
inline constexpr u16 kBlock605 = 0x605;
inline constexpr u16 kPairIn29E = 0x29E;
inline constexpr u16 kPairOut29F = 0x29F;

using enum PortStore;

// The register map of each family; D3 and D5 share D1's.
// clang-format off
//                                     DI lanes: {port, bit, first line, lines}       DO lanes: {port, bit, first line, lines, DOWritePort}
inline constexpr PortLayout kLayoutD1{{{kBlock604, 0, 0, 8}},                          {{kBlock601, 0, 0, 8, LineBits}}};
inline constexpr PortLayout kLayoutD2{{{kBlock604, 0, 0, 8}, {kBlock600, 4, 8, 4}},    {{kBlock601, 0, 0, 8, LineBits}, {kBlock603, 0, 8, 4, Merge}}};
inline constexpr PortLayout kLayoutD4{{{kBlock604, 0, 0, 4}},                          {{kBlock601, 0, 0, 2, Merge}, {kBlock605, 0, 2, 2, Merge}, {kBlock604, 4, 4, 4, Merge}}, true};
inline constexpr PortLayout kLayoutD6{{{kBlock604, 0, 0, 4}},                          {{kBlock601, 0, 0, 4, WholeByte}}};
inline constexpr PortLayout kLayoutD9{{{kPairIn29E, 0, 0, 8}},                         {{kPairOut29F, 0, 0, 8, LineBits}}};
inline constexpr PortLayout kLayoutD11{{{kBlock604, 0, 0, 4}},                         {{kBlock601, 0, 0, 4, LineBits}}};

//                                               family  InitDIO
inline constexpr DioOps D1 = PortDriver<kLayoutD1>::Ops("D1", InitDioChipsetGpio);
inline constexpr DioOps D2 = PortDriver<kLayoutD2>::Ops("D2", InitDioChipsetGpio);
inline constexpr DioOps D3 = PortDriver<kLayoutD1>::Ops("D3", InitDioPads);
inline constexpr DioOps D4 = PortDriver<kLayoutD4>::Ops("D4", InitDioMcuProbe);
inline constexpr DioOps D5 = PortDriver<kLayoutD1>::Ops("D5", InitDioRouting);
inline constexpr DioOps D6 = PortDriver<kLayoutD6>::Ops("D6", InitDioRouting);
inline constexpr DioOps D9 = PortDriver<kLayoutD9>::Ops("D9", InitDioFlagOnly);
inline constexpr DioOps D11 = PortDriver<kLayoutD11>::Ops("D11", InitDioPadOutputClear);
// clang-format on

// D10 fills only InitDIO and DOWriteLine, for its two pad outputs.
inline constexpr u8 kPadOutputLines = 2;
inline constexpr DioOps D10{"D10", InitDioPadOutputs, nullptr, nullptr, PadOutputWriteLine, nullptr, nullptr, nullptr,
                            0,     kPadOutputLines};

}  // namespace hx
