// The 29 board models of the virtual board, one row each, describing the
// hardware as the board's maker would: what its SMBIOS data reports, its
// IT87 Super I/O and how the watchdog output reaches the reset logic,
// whether the chipset TCO timer can reset the machine, the UARTs of the
// MCU and CAN links, the isolated DI/DO connector, and the chipset's SMBus
// host with the PoE ports on it, the pads of the DT2 status lines, and the
// functions of the on-board MCU's firmware. The
// virtual board builds itself from the row alone.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "sim/board_state.h"
#include "sim/chips/dt2_pads.h"
#include "sim/chips/it87.h"

namespace hx::sim {

// How a link's UART is attached to the board.
enum class UartAttach : u8 {
    None,        // the board has no such link
    Io16550,     // a 16550-type UART at an I/O base
    ChipsetPci,  // the chipset's high-speed UART, a PCI function
    UsbSerial,   // a USB serial converter on an internal header
};

struct PciFunctionId {
    u8 bus, device, function;
    u16 vendor, deviceId;
};

struct UartWiring {
    UartAttach attach;
    u16 ioBase;         // Io16550
    PciFunctionId pci;  // ChipsetPci
    u16 usbVendor;      // UsbSerial
    u16 usbProduct;
    u32 baud;           // the line speed of the MCU's end
};

inline constexpr UartWiring kNoUart{};

constexpr UartWiring Uart16550(u16 ioBase, u32 baud) { return {UartAttach::Io16550, ioBase, {}, 0, 0, baud}; }

// The Atom SoC's high-speed UART: 8086h:0F0Ah at bus 0, device 30, function 3.
constexpr UartWiring ChipsetHsUart(u32 baud) {
    return {UartAttach::ChipsetPci, 0, {0, 30, 3, 0x8086, 0x0F0A}, 0, 0, baud};
}

constexpr UartWiring UsbSerial(u16 vendor, u16 product, u32 baud) {
    return {UartAttach::UsbSerial, 0, {}, vendor, product, baud};
}

// How the board's isolated DI/DO connector reaches the CPU.
enum class DioAttach : u8 {
    None,       // the board has no isolated DIO
    GpioBlock,  // byte registers of the GPIO block at 600h..605h
    GpioPair,   // one input byte at 29Eh, one output byte at 29Fh
    SocPads,    // outputs driven by memory-mapped SoC GPIO pads
    Mcu,        // lines of the on-board MCU, reached over its command link
};

// Where a DIO line or a gate is read: a byte register in port space, or a
// 32-bit physical word (a SoC or chipset pad).
enum class DioSite : u8 { None, Port, Phys };

// A run of field lines on consecutive bits of one register: line firstLine
// at bit `shift`, line firstLine + 1 at the next bit, and so on.
struct DioLane {
    DioSite site;
    u32 address;
    u8 shift;
    u8 firstLine;
    u8 count;
};

// A condition on a register or pad: in place when (value & mask) == want.
struct DioGate {
    DioSite site;
    u32 address;
    u32 mask;
    u32 want;
};

inline constexpr std::size_t kMaxDioLanes = 3;
inline constexpr std::size_t kMaxDioGates = 6;
inline constexpr std::size_t kMaxDioPads = 3;

// Conditions that hold together (unused entries have site None).
struct DioGateSet {
    DioGate gates[kMaxDioGates];
};

// Boards with trigger I/O switch their output drivers between the DIO
// connector and the trigger outputs: the levels that select either.
struct DioRouting {
    DioGateSet dio;
    DioGateSet trigger;
};

struct DioWiring {
    DioAttach attach;
    u8 inputs;   // isolated input lines, numbered from 0
    u8 outputs;  // isolated output lines, numbered from 0
    // Input lines read low in their register bit while current flows; an
    // output line is on while its register bit (or pad word bit) is 1.
    DioLane inputLanes[kMaxDioLanes];
    DioLane outputLanes[kMaxDioLanes];
    // Every gate in place: the output drivers reach the connector; otherwise
    // every output line is off.
    DioGateSet outputGates;
    const DioRouting* routing;  // nullptr: no trigger routing on the board
    PadWord firmwarePads[kMaxDioPads];  // pad words as the firmware leaves them
    // How the board's MCU reports changes of the inputs it watches: the
    // connector's inputs, or on the boards with MCU-carried lines its own.
    DiEventForm mcuEvents = DiEventForm::None;
};

// How the chipset's SMBus host controller is found.
enum class SmbusAttach : u8 {
    PciFunction,  // a function of bus 0, device 31, with its I/O base in register 20h
    PmIndex,      // through the power-management index pair CD6h/CD7h
};

struct SmbusWiring {
    SmbusAttach attach;
    u8 function;  // PciFunction: the function number on bus 0, device 31
    u16 base;     // I/O base of the host registers
};

// One PoE port of the board's panel: the power-sourcing controller that
// feeds it (7-bit SMBus address) and that controller's channel.
struct PoePortWiring {
    u8 controller;
    u8 channel;
};

inline constexpr std::size_t kMaxPoePorts = 16;

// The chipset's SMBus and the PoE ports on it, numbered from 1 as printed
// on the panel; every port of a board has controllers of one layout.
struct PoeWiring {
    SmbusWiring smbus;
    PseLayout layout;
    u8 portCount;  // 0: no PoE ports on the board
    PoePortWiring ports[kMaxPoePorts];
};

struct BoardModel {
    const char* name;           // the model key
    const char* systemProduct;  // SMBIOS type 1 product name
    const char* boardProduct;   // SMBIOS type 2 product name
    u16 superIoChipId;
    const ResetWiring* watchdogReset;
    bool tcoResets;  // the chipset TCO timer is present and wired to reset
    UartWiring mcu;  // the MCU command link
    UartWiring can;  // the CAN data link
    const DioWiring* dio;  // the isolated DI/DO connector
    UartWiring mcuUsb;     // the MCU's own USB CDC port, a second way to its command link
    const PoeWiring* poe;  // the SMBus host and the PoE ports
    const StatusPadWiring* statusPads;  // the DT2 status lines, on GPIO pads
    const McuFunctionSet* mcuFunctions;  // what the MCU's firmware carries (sim/firmware/link_state.h)
};

inline constexpr std::size_t kBoardModelCount = 29;
extern const BoardModel kBoardModels[kBoardModelCount];

// The model used when none is named: one that fills every group of slots.
inline constexpr char kDefaultModel[] = "Trelo-05";

const BoardModel* FindBoardModel(const char* name);

}  // namespace hx::sim
