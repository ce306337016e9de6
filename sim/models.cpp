#include "sim/models.h"

#include <cstring>

namespace hx::sim {
namespace {

constexpr u16 kIt8783 = 0x8783;
constexpr u16 kIt8768 = 0x8768;
constexpr u16 kIt8786 = 0x8786;

// Super I/O registers on the watchdog's path to the reset logic.
constexpr u8 kRegGpioSet3Select = 0x27;  // global: GPIO set 3 multi-function pins
constexpr u8 kGp37Function = 0x80;       //   bit 7: the pin is GP37
constexpr u8 kRegExtPinSelect = 0x2A;    // global: extended multi-function pins
constexpr u8 kExtPinWatchdog = 0x20;     //   bit 5: the IT8768's watchdog pin
constexpr u8 kRegOutputPinMap = 0xF8;    // logical device 7: pin the watchdog output drives
constexpr u8 kPinGp37 = 0x1F;            //   set 3, bit 7
constexpr u8 kPinGp52 = 0x2A;            //   set 5, bit 2

// Atom SoC pad between the Super I/O pin and PWROK: configuration word
// (bit 0 set disables the pad's buffers) and value word (bits 0..2 set
// disable output, input and pull); the firmware leaves the pad disabled.
constexpr u32 kSocPadConfig = 0xFED0C150;
constexpr u32 kSocPadBuffersOff = 0x00000001;
constexpr u32 kSocPadValue = 0xFED0C158;
constexpr u32 kSocPadDisables = 0x00000007;
constexpr u32 kSocPadConfigFirmware = 0x2000CC01;
constexpr u32 kSocPadValueFirmware = 0x00000006;
// PCH pad that enables the PWROK path: GPIO mode, TX state in bit 0, low
// as the firmware leaves it.
constexpr u32 kPchPad = 0xFD6D07C0;
constexpr u32 kPchPadTxHigh = 0x00000001;
constexpr u32 kPchPadFirmware = 0x44000200;

constexpr ResetGate GlobalBitSet(u8 reg, u8 bits) { return {GateSite::SioGlobal, reg, bits, bits}; }
constexpr ResetGate GpioEquals(u8 reg, u8 value) { return {GateSite::SioGpio, reg, 0xFF, value}; }
constexpr ResetGate PhysBits(u32 address, u32 mask, u32 want) { return {GateSite::PhysWord, address, mask, want}; }

// ICH boards: KRST# leaves on GP37, which must be in its GPIO function and
// mapped to the watchdog.
constexpr ResetWiring kKrstViaGp37{
    ResetOutput::Krst, {GlobalBitSet(kRegGpioSet3Select, kGp37Function), GpioEquals(kRegOutputPinMap, kPinGp37)}, {}};
// Atom SoC boards: PWROK through the IT8768's watchdog pin, mapped to GP37,
// and the SoC pad with its buffers enabled.
constexpr ResetWiring kPwrOkViaSocPad{ResetOutput::PwrOk,
                                      {GlobalBitSet(kRegExtPinSelect, kExtPinWatchdog),
                                       GpioEquals(kRegOutputPinMap, kPinGp37), PhysBits(kSocPadConfig, kSocPadBuffersOff, 0),
                                       PhysBits(kSocPadValue, kSocPadDisables, 0)},
                                      {{kSocPadConfig, kSocPadConfigFirmware}, {kSocPadValue, kSocPadValueFirmware}}};
// Core boards: KRST# on GP52, mapped to the watchdog.
constexpr ResetWiring kKrstViaGp52{ResetOutput::Krst, {GpioEquals(kRegOutputPinMap, kPinGp52)}, {}};
// Core boards with a PCH pad in the path: PWROK on GP52, passed on only
// while the pad drives high.
constexpr ResetWiring kPwrOkViaPchPad{ResetOutput::PwrOk,
                                      {GpioEquals(kRegOutputPinMap, kPinGp52), PhysBits(kPchPad, kPchPadTxHigh, kPchPadTxHigh)},
                                      {{kPchPad, kPchPadFirmware}}};

// ---- The isolated DI/DO connectors --------------------------------------------

// The GPIO byte block at 600h..605h and the pair at 29Eh/29Fh: plain byte
// registers; the board wires some of their bits to the connector's opto
// inputs and output drivers.
constexpr u32 kBlock600 = 0x600, kBlock601 = 0x601, kBlock603 = 0x603, kBlock604 = 0x604, kBlock605 = 0x605;
constexpr u32 kPair29E = 0x29E, kPair29F = 0x29F;

// ICH GPIO: use-select (1 = GPIO), direction (0 = output), level; byte k
// holds GPIO 8k..8k+7.
constexpr u32 kIchUseSel8 = 0x501, kIchUseSel16 = 0x502;
constexpr u32 kIchDir8 = 0x505, kIchDir16 = 0x506;
constexpr u32 kIchLevel0 = 0x50C, kIchLevel8 = 0x50D, kIchLevel16 = 0x50E;
constexpr u32 kIchGpio1 = 0x02, kIchGpio14 = 0x40, kIchGpio19And21 = 0x28, kIchGpio16 = 0x01, kIchGpio23 = 0x80;

// SoC pad value words: bit 0 is the pad's level; the firmware leaves the
// output-enable pads high (outputs off) and the routing pads low.
constexpr u32 kPadLevel = 0x1;
constexpr u32 kPadHighFirmware = 0x00000005;  // input buffer off, output on, high
constexpr u32 kPadLowFirmware = 0x00000004;   // input buffer off, output on, low
constexpr u32 kPadEnableA = 0xFED0C558;       // Trelo-04: with B, low lets the outputs through
constexpr u32 kPadEnableB = 0xFED0C188;       // Trelo-04, Vexa-03
constexpr u32 kPadRouteDio = 0xFED0C6A8;      // Trelo-05: high routes the drivers to the DIO connector
constexpr u32 kPadRouteTrigger = 0xFED0C0B8;  // Trelo-05: high routes them to the trigger outputs
constexpr u32 kPadOutputsOff = 0xFED0C578;    // Trelo-05: high holds every driver off
constexpr u32 kPadOut0 = 0xFED0C168;          // Ondra-01: output line 0 (bit 0)
constexpr u32 kPadOut1 = 0xFED0C058;          // Ondra-01: output line 1 (bit 0)
constexpr u32 kPadOutEnable = 0xFED0C1D8;     // Ondra-01: 0 enables both output pads
constexpr u32 kPadOutEnableFirmware = 0x00000001;

constexpr DioLane Port(u32 port, u8 shift, u8 firstLine, u8 count) { return {DioSite::Port, port, shift, firstLine, count}; }
constexpr DioLane Pad(u32 address, u8 line) { return {DioSite::Phys, address, 0, line, 1}; }
constexpr DioGate PortBits(u32 port, u32 mask, u32 want) { return {DioSite::Port, port, mask, want}; }
constexpr DioGate PadLevel(u32 address, bool high) { return {DioSite::Phys, address, kPadLevel, high ? kPadLevel : 0}; }
constexpr DioGate PadWordIs(u32 address, u32 value) { return {DioSite::Phys, address, 0xFFFFFFFF, value}; }

// ICH boards with trigger I/O: GPIO 1 high, GPIO 16 and 23 low route the
// output drivers to the connector; GPIO 16 high, GPIO 1 and 23 low to the
// trigger outputs.
constexpr DioRouting kRoutedByIchGpio{
    {{PortBits(kIchLevel0, kIchGpio1, kIchGpio1), PortBits(kIchLevel16, kIchGpio16 | kIchGpio23, 0)}},
    {{PortBits(kIchLevel16, kIchGpio16 | kIchGpio23, kIchGpio16), PortBits(kIchLevel0, kIchGpio1, 0)}}};
// Trelo-05: the same by three SoC pads.
constexpr DioRouting kRoutedBySocPads{
    {{PadLevel(kPadRouteDio, true), PadLevel(kPadRouteTrigger, false), PadLevel(kPadOutputsOff, false)}},
    {{PadLevel(kPadRouteTrigger, true), PadLevel(kPadRouteDio, false), PadLevel(kPadOutputsOff, false)}}};

// Line counts are those printed at the connector. An MCU beside a
// port-mapped connector watches its inputs too: Trelo-05's reports a change
// in an 8-bit event frame, the older MCU of the chipset boards and of
// Ondra-01 in a 3-byte message. An MCU that carries the lines itself reports
// in a 16-bit event frame.
constexpr DioWiring kNoDio{DioAttach::None, 0, 0, {}, {}, {}, nullptr, {}};
// ICH boards: the output drivers' enable comes from ICH GPIO 14, 19 and 21,
// which must be GPIO outputs driven low.
constexpr DioGateSet kIchGpioEnablesLow{{
    PortBits(kIchUseSel8, kIchGpio14, kIchGpio14), PortBits(kIchUseSel16, kIchGpio19And21, kIchGpio19And21),
    PortBits(kIchDir8, kIchGpio14, 0),             PortBits(kIchDir16, kIchGpio19And21, 0),
    PortBits(kIchLevel8, kIchGpio14, 0),           PortBits(kIchLevel16, kIchGpio19And21, 0)}};
constexpr DioWiring kDioBlock8x8IchGated{DioAttach::GpioBlock, 8, 8,
    {Port(kBlock604, 0, 0, 8)}, {Port(kBlock601, 0, 0, 8)},
    kIchGpioEnablesLow,
    nullptr, {}};
// Inputs 8..11 on the high nibble of 600h, outputs 8..11 on the low nibble of 603h.
constexpr DioWiring kDioBlock12x12IchGated{DioAttach::GpioBlock, 12, 12,
    {Port(kBlock604, 0, 0, 8), Port(kBlock600, 4, 8, 4)}, {Port(kBlock601, 0, 0, 8), Port(kBlock603, 0, 8, 4)},
    kIchGpioEnablesLow,
    nullptr, {}};
// Atom SoC board: both enable pads low.
constexpr DioWiring kDioBlock8x8PadGated{DioAttach::GpioBlock, 8, 8,
    {Port(kBlock604, 0, 0, 8)}, {Port(kBlock601, 0, 0, 8)},
    {{PadLevel(kPadEnableA, false), PadLevel(kPadEnableB, false)}},
    nullptr, {{kPadEnableA, kPadHighFirmware}, {kPadEnableB, kPadHighFirmware}}};
// Trelo-05: four inputs on the low nibble of 604h; outputs 0-1 on 601h,
// 2-3 on 605h, 4-7 on the high nibble of 604h; reach the connector while
// the pads route them there.
constexpr DioWiring kDioBlock4x8PadRouted{DioAttach::GpioBlock, 4, 8,
    {Port(kBlock604, 0, 0, 4)}, {Port(kBlock601, 0, 0, 2), Port(kBlock605, 0, 2, 2), Port(kBlock604, 4, 4, 4)},
    kRoutedBySocPads.dio,
    &kRoutedBySocPads, {{kPadRouteDio, kPadLowFirmware}, {kPadRouteTrigger, kPadLowFirmware}, {kPadOutputsOff, kPadHighFirmware}},
    DiEventForm::Frame8};
constexpr DioWiring kDioBlock8x8PortRouted{DioAttach::GpioBlock, 8, 8,
    {Port(kBlock604, 0, 0, 8)}, {Port(kBlock601, 0, 0, 8)},
    kRoutedByIchGpio.dio,
    &kRoutedByIchGpio, {}, DiEventForm::Message3};
// Bits 4-7 of 601h are not wired on these boards.
constexpr DioWiring kDioBlock4x4PortRouted{DioAttach::GpioBlock, 4, 4,
    {Port(kBlock604, 0, 0, 4)}, {Port(kBlock601, 0, 0, 4)},
    kRoutedByIchGpio.dio,
    &kRoutedByIchGpio, {}, DiEventForm::Message3};
constexpr DioWiring kDioPair8x8{DioAttach::GpioPair, 8, 8,
    {Port(kPair29E, 0, 0, 8)}, {Port(kPair29F, 0, 0, 8)}, {}, nullptr, {}};
constexpr DioWiring kDioSocPads2Out{DioAttach::SocPads, 0, 2,
    {}, {Pad(kPadOut0, 0), Pad(kPadOut1, 1)},
    {{PadWordIs(kPadOutEnable, 0)}},
    nullptr, {{kPadOutEnable, kPadOutEnableFirmware}}, DiEventForm::Message3};
constexpr u32 kTestInputs601 = 0xF0;
// Vexa-03: enable pad B low; bits 4-7 of 601h drive the drivers' test
// inputs, which hold every output off unless they are 0.
constexpr DioWiring kDioBlock4x4PadGated{DioAttach::GpioBlock, 4, 4,
    {Port(kBlock604, 0, 0, 4)}, {Port(kBlock601, 0, 0, 4)},
    {{PadLevel(kPadEnableB, false), PortBits(kBlock601, kTestInputs601, 0)}},
    nullptr, {{kPadEnableB, kPadHighFirmware}}};
constexpr DioWiring kDioMcu16x16{DioAttach::Mcu, 16, 16, {}, {}, {}, nullptr, {}, DiEventForm::Frame16};

constexpr bool kTco = true;
constexpr bool kNoTco = false;

constexpr u32 k115200 = 115200;
constexpr u32 k921600 = 921600;
constexpr u16 kFtdi = 0x0403;  // USB vendor ID
constexpr u16 kFt230x = 0x6015;
constexpr u16 kMcuUsbVendor = 0x1CBE;  // the MCU's own USB CDC function
constexpr u16 kMcuUsbProduct = 0x0002;

// The chipset's SMBus host: an Intel SMBus controller at function 3 of
// device 31 (the LPC bridge at function 0), or an AMD FCH host found
// through the PM registers.
constexpr SmbusWiring kIntelSmbus{SmbusAttach::PciFunction, 3, 0xF000};
constexpr SmbusWiring kFchSmbus{SmbusAttach::PmIndex, 0, 0x0B00};

constexpr PseLayout kModeEnable = PseLayout::ModeEnable;
constexpr PseLayout kControlStatus = PseLayout::ControlStatus;

// PoE panels: port n at (controller address, channel).
constexpr PoeWiring kNoPoe{kIntelSmbus, kModeEnable, 0, {}};
constexpr PoeWiring kPoe2At20{kIntelSmbus, kModeEnable, 2, {{0x20, 0}, {0x20, 1}}};
constexpr PoeWiring kPoe4At20{kIntelSmbus, kModeEnable, 4, {{0x20, 0}, {0x20, 1}, {0x20, 2}, {0x20, 3}}};
constexpr PoeWiring kPoe4At00{kIntelSmbus, kControlStatus, 4, {{0x00, 0}, {0x00, 1}, {0x00, 2}, {0x00, 3}}};
constexpr PoeWiring kPoe16At20To23{kIntelSmbus, kModeEnable, 16, {
    {0x20, 0}, {0x20, 1}, {0x20, 2}, {0x20, 3}, {0x21, 0}, {0x21, 1}, {0x21, 2}, {0x21, 3},
    {0x22, 0}, {0x22, 1}, {0x22, 2}, {0x22, 3}, {0x23, 0}, {0x23, 1}, {0x23, 2}, {0x23, 3}}};
constexpr PoeWiring kPoe8At20And22{kIntelSmbus, kModeEnable, 8, {
    {0x20, 0}, {0x20, 1}, {0x20, 2}, {0x20, 3}, {0x22, 0}, {0x22, 1}, {0x22, 2}, {0x22, 3}}};
// Ports 1..4 on the second controller, routed in pairs crossed on the board.
constexpr PoeWiring kPoe8At21Crossed{kIntelSmbus, kModeEnable, 8, {
    {0x21, 1}, {0x21, 0}, {0x21, 3}, {0x21, 2}, {0x20, 0}, {0x20, 1}, {0x20, 2}, {0x20, 3}}};
constexpr PoeWiring kPoe4At20Fch{kFchSmbus, kModeEnable, 4, {{0x20, 0}, {0x20, 1}, {0x20, 2}, {0x20, 3}}};

// ---- The DT2 status lines ------------------------------------------------------

// Atom SoC pad value word: bit 0 the level (written: driven; read: seen
// while the input buffer is on, else the latch), bit 1 output disable,
// bit 2 input disable.
constexpr PadBitLayout kSocPadValueBits{0x1, 0x1, 0x2, 0x4};
constexpr u32 kSocPadOutputLow = 0x00000004;  // input buffer off, output on, low
constexpr u32 kSocPadInput = 0x00000002;      // output off, input buffer on
// PCH pad configuration word 0: bit 0 TX level, bit 1 RX level (read only),
// bit 8 TX disable, bit 9 RX disable; GPIO mode in the high bits. The
// firmware leaves every status pad an output driving low.
constexpr PadBitLayout kPchPadDw0Bits{0x001, 0x002, 0x100, 0x200};
constexpr u32 kPchPadOutputLow = 0x44000200;

constexpr StatusPadWiring kNoStatusLines{};
// Trelo-05: nine status outputs and eight status inputs on SoC pads.
constexpr StatusPadWiring kStatusSoc9Out8In{kSocPadValueBits, 17, {
    {"SO0", 0xFED0C078, kSocPadOutputLow}, {"SO1", 0xFED0C068, kSocPadOutputLow}, {"SO2", 0xFED0C218, kSocPadOutputLow},
    {"SO3", 0xFED0C208, kSocPadOutputLow}, {"SO4", 0xFED0C098, kSocPadOutputLow}, {"SO5", 0xFED0C088, kSocPadOutputLow},
    {"SO6", 0xFED0C1F8, kSocPadOutputLow}, {"SO7", 0xFED0C1E8, kSocPadOutputLow}, {"SO8", 0xFED0C1B8, kSocPadOutputLow},
    {"SI0", 0xFED0C358, kSocPadInput},     {"SI1", 0xFED0C2F8, kSocPadInput},     {"SI2", 0xFED0C348, kSocPadInput},
    {"SI3", 0xFED0C318, kSocPadInput},     {"SI4", 0xFED0C138, kSocPadInput},     {"SI5", 0xFED0C108, kSocPadInput},
    {"SI6", 0xFED0C508, kSocPadInput},     {"SI7", 0xFED0C528, kSocPadInput}}};
// Four bidirectional status lines on PCH pads.
constexpr StatusPadWiring kStatusPch4{kPchPadDw0Bits, 4, {
    {"ST0", 0xFDAE04C0, kPchPadOutputLow}, {"ST1", 0xFDAE04C8, kPchPadOutputLow},
    {"ST2", 0xFDAE04D0, kPchPadOutputLow}, {"ST3", 0xFDAE0578, kPchPadOutputLow}}};

// ---- The on-board MCU's firmware ----------------------------------------------

constexpr IgnitionSense kIgn33V = IgnitionSense::Queries33V;
constexpr IgnitionSense kIgn12Bit = IgnitionSense::Queries12Bit;
constexpr IgnitionSense kIgnText = IgnitionSense::Text10Bit;
constexpr IgnitionSense kNoIgn = IgnitionSense::None;
constexpr TriggerDialect kTrigFramed = TriggerDialect::Framed;
constexpr TriggerDialect kTrigShort = TriggerDialect::Short;
constexpr TriggerDialect kTrigHeld = TriggerDialect::ShortHeld;
constexpr TriggerDialect kNoTrig = TriggerDialect::None;

// The MCU's reset line on a SoC pad (Vexa-04 to -06); the trigger blocks'
// hold line on a SoC pad (Ondra-01).
constexpr u32 kMcuResetPad = 0xD0C50528;
constexpr u32 kTriggerHoldPad = 0xFED0C1E8;

constexpr McuFunctionSet kNoMcu{};
//                                  ignition   trigger      LED                   PWM QEI ADC version reset pad      hold pad
constexpr McuFunctionSet kMcuT05   {kIgn33V,   kTrigFramed, LedDriver::Linear,    4,  2,  4,  true,   0,             0};
constexpr McuFunctionSet kMcuDicos {kNoIgn,    kNoTrig,     LedDriver::None,      0,  0,  0,  false,  0,             0};
constexpr McuFunctionSet kMcuShortT{kNoIgn,    kTrigShort,  LedDriver::None,      0,  0,  0,  false,  0,             0};
constexpr McuFunctionSet kMcuIgnTxt{kIgnText,  kNoTrig,     LedDriver::None,      0,  0,  0,  false,  0,             0};
constexpr McuFunctionSet kMcuMotion{kIgn12Bit, kTrigFramed, LedDriver::Channels,  4,  2,  0,  true,   0,             0};
constexpr McuFunctionSet kMcuVehic {kIgn12Bit, kTrigFramed, LedDriver::None,      0,  0,  0,  true,   0,             0};
constexpr McuFunctionSet kMcuOndra {kNoIgn,    kTrigHeld,   LedDriver::Dimmer,    0,  0,  0,  false,  0,             kTriggerHoldPad};
constexpr McuFunctionSet kMcuTrigIo{kNoIgn,    kTrigFramed, LedDriver::None,      0,  0,  0,  false,  0,             0};
constexpr McuFunctionSet kMcuVexaR {kIgn12Bit, kTrigFramed, LedDriver::None,      0,  0,  0,  true,   kMcuResetPad,  0};
constexpr McuFunctionSet kMcuVexaRM{kIgn12Bit, kTrigFramed, LedDriver::Channels,  4,  2,  0,  true,   kMcuResetPad,  0};

}  // namespace

// Product names as the boards' firmware reports them: the model name, at
// times with a variant suffix. The MCU runs its command link at 115200 baud
// and its CAN link at 921600, or both at 115200 on the Vexa-04 to -06.
const BoardModel kBoardModels[kBoardModelCount] = {
    // model       SMBIOS system SMBIOS board            Super I/O watchdog reset     TCO      MCU link                    CAN link                             DIO connector             MCU USB port                                       PoE                DT2 status lines    MCU firmware
    {"Trelo-01",   "Trelo-01",   "Trelo-01 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    kNoUart,                    kNoUart,                             &kDioBlock8x8IchGated,    kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-02",   "Trelo-02",   "Trelo-02 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    kNoUart,                    kNoUart,                             &kDioBlock8x8IchGated,    kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-03+",  "Trelo-03+",  "Trelo-03+ Mainboard",  kIt8783,  &kKrstViaGp37,     kTco,    kNoUart,                    kNoUart,                             &kDioBlock8x8IchGated,    kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-03",   "Trelo-03",   "Trelo-03 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    kNoUart,                    kNoUart,                             &kDioBlock12x12IchGated,  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-04",   "Trelo-04",   "Trelo-04 Mainboard",   kIt8768,  &kPwrOkViaSocPad,  kNoTco,  kNoUart,                    kNoUart,                             &kDioBlock8x8PadGated,    kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-05",   "Trelo-05A",  "Trelo-05 Mainboard",   kIt8768,  &kPwrOkViaSocPad,  kNoTco,  Uart16550(0x368, k115200),  ChipsetHsUart(k921600),              &kDioBlock4x8PadRouted,   kNoUart,                                           &kPoe2At20,        &kStatusSoc9Out8In, &kMcuT05},
    {"Trelo-06",   "Trelo-06",   "Trelo-06 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioBlock8x8PortRouted,  kNoUart,                                           &kPoe4At00,        &kNoStatusLines,    &kMcuShortT},
    {"Trelo-07",   "Trelo-07",   "Trelo-07 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioBlock4x4PortRouted,  kNoUart,                                           &kPoe4At20,        &kNoStatusLines,    &kMcuIgnTxt},
    {"Trelo-08",   "Trelo-08",   "Trelo-08 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioBlock4x4PortRouted,  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kMcuDicos},
    {"Qantis-01",  "Qantis-01",  "Qantis-01 Mainboard",  kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioBlock8x8PortRouted,  kNoUart,                                           &kPoe4At00,        &kNoStatusLines,    &kMcuShortT},
    {"Trelo-09",   "Trelo-09",   "Trelo-09 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kNoDio,                  kNoUart,                                           &kPoe16At20To23,   &kNoStatusLines,    &kMcuIgnTxt},
    {"Trelo-10",   "Trelo-10",   "Trelo-10 Mainboard",   kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioBlock8x8PortRouted,  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kMcuShortT},
    {"Trelo-11",   "Trelo-11",   "Trelo-11 Mainboard",   kIt8786,  &kKrstViaGp52,     kNoTco,  Uart16550(0x2E8, k115200),  UsbSerial(kFtdi, kFt230x, k921600),  &kDioMcu16x16,            kNoUart,                                           &kPoe8At20And22,   &kStatusPch4,   &kMcuMotion},
    {"Trelo-12",   "Trelo-12",   "Trelo-12 Mainboard",   kIt8786,  &kKrstViaGp52,     kNoTco,  Uart16550(0x2E8, k115200),  UsbSerial(kFtdi, kFt230x, k921600),  &kDioMcu16x16,            kNoUart,                                           &kPoe8At21Crossed, &kNoStatusLines,    &kMcuVehic},
    {"Qantis-02",  "Qantis-02",  "Qantis-02 Mainboard",  kIt8786,  &kKrstViaGp52,     kNoTco,  Uart16550(0x2E8, k115200),  kNoUart,                             &kDioMcu16x16,            UsbSerial(kMcuUsbVendor, kMcuUsbProduct, k115200), &kPoe8At20And22,   &kStatusPch4,   &kMcuMotion},
    {"Trelo-13",   "Trelo-13",   "Trelo-13 Mainboard",   kIt8786,  &kKrstViaGp52,     kNoTco,  kNoUart,                    kNoUart,                             &kDioPair8x8,             kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-14",   "Trelo-14",   "Trelo-14 Mainboard",   kIt8786,  &kKrstViaGp52,     kNoTco,  Uart16550(0x2E8, k115200),  UsbSerial(kFtdi, kFt230x, k921600),  &kDioMcu16x16,            kNoUart,                                           &kPoe8At21Crossed, &kNoStatusLines,    &kMcuVehic},
    {"Trelo-15",   "Trelo-15",   "Trelo-15 Mainboard",   kIt8786,  &kKrstViaGp52,     kNoTco,  kNoUart,                    kNoUart,                             &kNoDio,                  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-16",   "Trelo-16",   "Trelo-16 Mainboard",   kIt8786,  &kPwrOkViaPchPad,  kNoTco,  Uart16550(0x368, k115200),  Uart16550(0x2E0, k921600),           &kDioMcu16x16,            kNoUart,                                           &kPoe8At20And22,   &kStatusPch4,   &kMcuMotion},
    {"Trelo-17",   "Trelo-17",   "Trelo-17 Mainboard",   kIt8786,  &kPwrOkViaPchPad,  kNoTco,  Uart16550(0x368, k115200),  UsbSerial(kFtdi, kFt230x, k921600),  &kDioMcu16x16,            kNoUart,                                           &kPoe8At21Crossed, &kNoStatusLines,    &kMcuVehic},
    {"Trelo-18",   "Trelo-18",   "Trelo-18 Mainboard",   kIt8786,  &kPwrOkViaPchPad,  kNoTco,  kNoUart,                    kNoUart,                             &kDioPair8x8,             kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Trelo-19",   "Trelo-19",   "Trelo-19 Mainboard",   kIt8786,  &kPwrOkViaPchPad,  kNoTco,  kNoUart,                    kNoUart,                             &kNoDio,                  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Ondra-01",   "Ondra-01",   "Ondra-01 Mainboard",   kIt8768,  &kPwrOkViaSocPad,  kNoTco,  ChipsetHsUart(k115200),     kNoUart,                             &kDioSocPads2Out,         kNoUart,                                           &kPoe4At00,        &kNoStatusLines,    &kMcuOndra},
    {"Vexa-01",    "Vexa-01",    "Vexa-01 Mainboard",    kIt8783,  &kKrstViaGp37,     kTco,    kNoUart,                    kNoUart,                             &kNoDio,                  kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kNoMcu},
    {"Vexa-02",    "Vexa-02",    "Vexa-02 Mainboard",    kIt8783,  &kKrstViaGp37,     kTco,    Uart16550(0x2E8, k115200),  kNoUart,                             &kDioMcu16x16,            kNoUart,                                           &kNoPoe,           &kNoStatusLines,    &kMcuTrigIo},
    {"Vexa-03",    "Vexa-03",    "Vexa-03 Mainboard",    kIt8768,  &kPwrOkViaSocPad,  kNoTco,  kNoUart,                    kNoUart,                             &kDioBlock4x4PadGated,    kNoUart,                                           &kPoe4At20,        &kNoStatusLines,    &kNoMcu},
    {"Vexa-04",    "Vexa-04",    "Vexa-04 Mainboard",    kIt8768,  &kPwrOkViaSocPad,  kNoTco,  Uart16550(0x368, k115200),  Uart16550(0x2E0, k115200),           &kDioMcu16x16,            kNoUart,                                           &kPoe2At20,        &kNoStatusLines,    &kMcuVexaR},
    {"Vexa-05",    "Vexa-05",    "Vexa-05 Mainboard",    kIt8768,  &kPwrOkViaSocPad,  kNoTco,  Uart16550(0x368, k115200),  Uart16550(0x2E0, k115200),           &kDioMcu16x16,            kNoUart,                                           &kPoe2At20,        &kNoStatusLines,    &kMcuVexaR},
    {"Vexa-06",    "Vexa-06E",   "Vexa-06 Mainboard",    kIt8768,  &kPwrOkViaSocPad,  kNoTco,  Uart16550(0x368, k115200),  Uart16550(0x2E0, k115200),           &kDioMcu16x16,            kNoUart,                                           &kPoe4At20Fch,     &kStatusPch4,   &kMcuVexaRM},
};

const BoardModel* FindBoardModel(const char* name) {
    if (!name) return nullptr;
    for (const BoardModel& m : kBoardModels) {
        if (std::strcmp(m.name, name) == 0) return &m;
    }
    return nullptr;
}

}  // namespace hx::sim
