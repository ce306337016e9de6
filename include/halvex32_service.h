// Service access to the Halvex32 library: what no export covers, for
// halvexctl and the unit tests. Not part of the shipped interface: the shared
// libraries export only the 77 functions of halvex32.h; a service tool links
// this part (backends/service/) together with the library's objects.
// Plain structs and C strings only; no library type crosses this header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hx::service {

// ---- back-end and load -------------------------------------------------------

enum class Load {
    Open,          // loaded, hardware access open
    NoAccess,      // loaded without hardware access: the exports answer their defaults
    UnknownModel,  // no virtual board of that name; nothing was loaded
};

// The load sequence on the real hardware of this machine.
Load LoadOnHardware();
// The load sequence on the virtual board of `model` (nullptr or "": the
// default model, one that fills every group of slots).
Load LoadOnVirtualBoard(const char* model);
// The unload sequence (after either load).
void Unload();

// The virtual board models, in table order; nullptr past the last. Loads nothing.
const char* VirtualModel(std::size_t index);

// ---- what the loaded library detected ----------------------------------------

// Slot groups in the order of the model table's columns.
enum Group : std::size_t { kWdt, kDio, kDicos, kPoe, kTrigger, kIgn, kCan, kPwm, kMcu, kLed, kAdc, kQei, kDt2, kInit };
inline constexpr std::size_t kGroupCount = kInit + 1;

struct SlotGroup {
    const char* name;    // "WDT", "DIO", ...
    const char* family;  // "W1", "D7", ...; "" when the model leaves the group empty
};

struct Info {
    const char* backend;        // back-end name; "" before a load
    const char* board;          // virtual board model; "" on real hardware
    bool accessOpen;
    const char* model;          // detected model key; "" when none
    uint32_t osMajor;           // 0 when unknown
    const char* expansionCard;  // "" when none
    bool mcuLink;               // some group of the model talks to the on-board MCU
    uint32_t diLines;           // input lines of the DIO family, numbered from 0
    uint32_t doLines;           // output lines of the DIO family, numbered from 0
    bool doPortWrites;          // the family writes all outputs at once (DOWritePort)
    SlotGroup groups[kGroupCount];
};

Info GetInfo();

// ---- raw MCU frames on the command link ------------------------------------------

inline constexpr std::size_t kFrameBytes = 7;

enum class FrameKind {
    Query,    // the answer carries the same code and a result word
    Command,  // the answer echoes the request
    Post,     // no answer is read
};

enum class FrameResult { NoLink, WriteFailed, NoAnswer, Answered, Posted };

struct FrameExchange {
    FrameResult result;
    uint8_t sent[kFrameBytes];    // valid unless NoLink
    uint8_t answer[kFrameBytes];  // valid when Answered
    bool matches;  // Answered: a query's answer has its code and a good checksum; a command's is the echo
    uint32_t word; // Answered query: the answer's payload
};

// Opens the MCU link when needed and exchanges one frame under the library lock.
FrameExchange ExchangeFrame(FrameKind kind, uint8_t code, uint32_t word);

// ---- MCU events -----------------------------------------------------------------

enum class Watch {
    Started,     // the receive thread runs: registered callbacks see the MCU's events
    NoLink,      // the MCU link cannot be opened
    NoReceiver,  // the model has no receive thread for its MCU link
};

// Opens the MCU link and starts its receive thread, and the DT2 event thread
// where the model has one.
Watch StartEventWatch();
void StopEventWatch();

// ---- the watchdog registers of the Super I/O ------------------------------------

struct WdtRegisters {
    uint16_t chipId;    // global registers 20h:21h
    uint8_t config;     // logical device 7, register 72h
    uint16_t value;     // registers 74h:73h; 0 = stopped
    bool unitSeconds;   // 72h counts seconds (else minutes)
};

WdtRegisters ReadWdtRegisters();

// ---- PoE port maps as the loaded library drives them -----------------------------

struct PoeChannel {
    bool valid;          // false: the library rejects this port
    uint8_t controller;  // 7-bit SMBus address of the power-sourcing controller
    uint8_t channel;     // 0..3
};

// The model's PoE ports are 1..PoeLastPort(); 0 when it has none.
uint32_t PoeLastPort();
PoeChannel PoePortChannel(uint32_t port);
// Expansion cards: indexes 0..PoeCardIndexCount()-1, ports 1..PoeCardPortCount().
uint32_t PoeCardIndexCount();
uint32_t PoeCardPortCount();
PoeChannel PoeCardChannel(uint32_t card, uint32_t port);

// ---- the virtual board (after LoadOnVirtualBoard) --------------------------------

struct BoardStatus {
    uint64_t nowMs;              // board clock
    uint16_t superIoChipId;
    bool superIoCounting;
    bool superIoSeconds;         // the watchdog counts seconds (else minutes)
    uint64_t superIoMsLeft;
    bool tco;                    // the chipset TCO timer is on this board
    bool tcoRunning;
    uint16_t tcoTicksLeft;       // 0.6 s ticks
    bool tcoNoReboot;            // a second time-out does not reset
    uint32_t resets;             // machine resets since the board was set up
    uint64_t lastResetAtMs;
    const char* lastResetCause;  // "" before the first reset
};

BoardStatus GetBoardStatus();
// Runs the board clock forward; chips that expire on the way reset the machine.
void AdvanceBoardClock(uint64_t ms);
// The board's MCU firmware sends one event frame (lead 40h) of `code`.
bool EmitBoardEvent(uint8_t code, uint32_t payload);

// The board's isolated DI/DO connector, as a device wired to it sees it.
struct DioLines {
    uint32_t inputCount;    // 0: the board has no isolated DIO
    uint32_t outputCount;
    uint32_t inputsActive;  // line n at bit n: the input is driven active
    uint32_t outputsOn;     // line n at bit n: the output is switched on
    const char* routing;    // where the output drivers are routed: "none" (no trigger
                            // routing on this board), "off", "DIO routed", "trigger routed"
};

DioLines GetBoardDioLines();
// Drives input `line` of the connector; false when the board has no such line.
bool SetBoardInput(uint32_t line, bool active);

// The board's PoE ports as a powered device on each sees it.
struct BoardPoePort {
    bool exists;
    bool powered;        // the feeding controller's channel delivers power
    uint8_t controller;  // 7-bit SMBus address
    uint8_t channel;
};

// The PoE ports on the board's panel are 1..BoardPoePortCount().
uint32_t BoardPoePortCount();
BoardPoePort GetBoardPoePort(uint32_t port);
// Port 1..4 of the expansion card with address index `card`.
BoardPoePort GetBoardCardPort(uint32_t card, uint32_t port);

// Every later LoadOnVirtualBoard plugs in a PoE expansion card: its PCIe
// switch at device 0 of `bridgeBus`, the network controller `nicId` (device
// << 16 | vendor, e.g. 0x15218086) on the bus behind it, its power-sourcing
// controller at address index `card` (0..7). nicId 0: no card. False when
// the index is out of range.
bool PlugBoardCard(uint32_t nicId, uint8_t bridgeBus, uint32_t card);

// Faults of the board's SMBus host.
struct SmbusFaults {
    bool stuckBusy;      // host busy never clears
    bool stuckByteDone;  // byte done cannot be cleared
    bool nak;            // the device at nakAddress does not acknowledge
    uint8_t nakAddress;  // 7-bit
};

void SetSmbusFaults(const SmbusFaults& faults);

// ---- the virtual board's CAN bus (docs/virtual-firmware.md) ---------------------

// A frame on the bus as the controller sees it.
struct CanBusFrame {
    uint32_t id;
    uint16_t flags;  // bit 0: 29-bit identifier, bit 1: remote request
    uint8_t length;
    uint8_t data[8];
};

struct CanController {
    bool link;             // the board has a CAN data link
    bool started;          // 81h came, and no 80h since
    bool busOff;
    uint32_t bitRate;      // bit/s, as the bit-timing get reads it
    uint32_t samplePoint;  // tenths of a percent
    uint32_t setup[4];     // mode, acceptance code, acceptance mask, reserved
    uint32_t status;       // the bus state last reported (event 61h)
    uint32_t starts, stops;
    uint32_t fromLibrary;  // frames the controller took from the library
    uint32_t onBus;        // of them put on the bus
    uint32_t toLibrary;    // frames queued for the library (peers, loopback, load)
    uint32_t waiting;      // of them not written to the link yet
    uint32_t missed;       // bus frames while stopped or bus-off
    uint32_t filtered;     // bus frames the acceptance filter kept away
    uint32_t overruns;     // frames lost because the queue was full
    uint32_t loadSent;     // frames of the current load so far
    uint32_t wireRate;     // frames a second the link's wire carries
};

CanController GetCanController();
// Frame n (from 0) that the library put on the bus; false when it is not
// among the last 64.
bool GetCanBusFrame(uint32_t n, CanBusFrame* frame);
// A peer on the bus sends `frame`; false when the controller does not pass
// it to the library (stopped, filtered, queue full).
bool SendCanFromPeer(const CanBusFrame& frame);
// A peer that answers every frame of id `trigger` with `reply`; false when
// the bus has eight already.
bool AddCanPeer(uint32_t trigger, const CanBusFrame& reply);
void ClearCanPeers();

enum class CanBusState { ErrorActive, ErrorWarning, ErrorPassive, BusOff };
// The controller enters `state` and reports it to the library (event 61h).
bool SetCanBusState(CanBusState state);

// Frames of id `id` towards the library, `framesPerSecond` of them (at most
// the wire rate; 0 ends the load): each carries its sequence number in data
// bytes 0..3 and its complement in 4..7. Returns the rate set.
uint32_t StartCanLoad(uint32_t framesPerSecond, uint32_t id);
// As many frames as the library takes, `frames` in all; none is dropped.
void StartCanBurst(uint32_t frames, uint32_t id);
// Both directions of the CAN data link at the wire's rate (the terminal
// alone has none).
void SetCanLinkPaced(bool paced);

// ---- the virtual board's DI change events (docs/virtual-firmware.md) -------------

// ---- the virtual board's DT2 engine and status pads (docs/virtual-firmware.md) ----

// The firmware's DT2 engine: its words as last sent and what it counted.
struct BoardDt2Engine {
    bool running;
    uint32_t unitWord;     // tick length in cycles of the engine's 80 MHz clock
    uint32_t setup[8];     // setup words 0..7
    uint8_t nextIndex;     // index of the next indexed event
    uint32_t waiting;      // indexed events that wait for their result
    uint32_t triggers;     // source lines that fired while it ran
    uint32_t raised;       // indexed events sent
    uint32_t missed;       // firings not reported: too many events waited
    uint32_t results;      // result commands taken
    uint32_t answered;     // ... of them for an index that waited
    uint8_t lastIndex;     // of the last result command
    uint8_t lastResult;
};

BoardDt2Engine GetBoardDt2Engine();
// The engine's trigger lines `lines` (line n at bit n) fire once; returns the
// number of indexed events the engine sent for them.
uint32_t FireBoardDt2Lines(uint32_t lines);
// The last result the engine took for `index`; false when it has none.
bool GetBoardDt2Result(uint8_t index, uint8_t* result);

// The board's DT2 status lines as a device wired to them sees them.
struct BoardStatusLine {
    bool exists;
    const char* name;  // as printed at the connector ("SO0", "SI3", "ST1")
    bool output;       // the board drives the line
    bool input;        // the board's input on the line is on
    bool high;         // the line's level
    bool driven;       // a device outside drives it
};

// The status lines are 0..BoardStatusLineCount()-1; 0 when the board has none.
uint32_t BoardStatusLineCount();
BoardStatusLine GetBoardStatusLine(uint32_t line);
// A device outside drives line `line` high (1), low (0) or lets it go (-1);
// the board wins while it drives the line itself. False for a line the board
// does not have.
bool DriveBoardStatusLine(uint32_t line, int level);

// ---- the virtual board's ignition and battery (docs/virtual-firmware.md) ----

// The ignition key and the battery as the board's MCU senses them.
struct BoardIgnition {
    const char* sense;          // "none", "queries 33V", "queries 12-bit", "text 10-bit"
    bool keyOn;
    double batteryVolts;        // on the battery input (millivolt steps)
    uint32_t reading;           // the converter's count for it, as the firmware answers it
    double fullScaleVolts;      // `counts` counts stand for this many volts
    uint32_t counts;
    uint32_t state;             // the state word: bit 0 key on, bit 1 battery below the cut-off
    uint32_t settings[5];       // words 0..4: mode; on, off and hard-off delays (20 ms ticks); cut-off reading
};

BoardIgnition GetBoardIgnition();
// Turns the key; false when the board's MCU senses no ignition.
bool SetBoardIgnition(bool on);
// Sets the battery voltage (0 to 60 V, to the millivolt); false when the
// board senses no battery or the value is outside that range.
bool SetBoardBatteryVolts(double volts);

// ---- the virtual board's PWM outputs (docs/virtual-firmware.md) ----

// PWM output n (generator n) as a meter on its pin sees it.
struct BoardPwmOutput {
    bool exists;
    bool running;
    uint32_t period;     // clock ticks
    uint32_t width;      // clock ticks the output is active
    bool inverted;       // active low
    double dutyPercent;  // share of the time the pin is high
    double frequencyHz;  // pulses a second; 0 while the pin rests at one level
    uint32_t clockHz;    // the generators' counting clock
};

// The board's PWM outputs are 0..BoardPwmOutputCount()-1; 0 when it has none.
uint32_t BoardPwmOutputCount();
BoardPwmOutput GetBoardPwmOutput(uint32_t output);

// ---- the virtual board's trigger I/O blocks (DTIO, DTFO) (docs/virtual-firmware.md) ----

enum class TriggerBlock { Dtio, Dtfo };

// One trigger block as the board's firmware holds it.
struct BoardTriggerBlock {
    const char* dialect;     // "framed", "short", "short, held by a line", "none"
    bool running;
    uint32_t unitWord;       // the tick length in cycles of the dialect's clock
    double tickNs;           // ... in nanoseconds (80 MHz framed, 25 MHz short)
    uint32_t setup[16];      // setup words 0..15 as last sent
    uint32_t prepares;       // prepare commands taken
    uint32_t starts, stops;  // taken
    uint32_t refusedStarts;  // not answered: the blocks were held
    bool held;               // the board's hold line is high
};

BoardTriggerBlock GetBoardTriggerBlock(TriggerBlock block);

// ---- the virtual board's shaft encoder (docs/virtual-firmware.md) ----

// The shaft on the encoder inputs turns at `rpm` (negative: backwards); it
// turns as the board clock runs (AdvanceBoardClock). Returns the speed set
// (within +-100000 rpm).
int32_t SetBoardShaftRpm(int32_t rpm);

// One encoder channel as the firmware counts it.
struct BoardEncoder {
    bool exists;           // the board's firmware has this channel
    bool running;          // started, not stopped since
    uint32_t position;     // counts, wrapping modulo 2^32
    uint32_t direction;    // of the last count: 0 forward (up), 1 backward (down)
    uint32_t velocity;     // counts per second now (0 while stopped)
    uint32_t linesPerRev;  // encoder lines per revolution; a revolution is 4 x lines counts
};

// Channel `channel` of the board's encoder inputs (exists false: no such channel).
BoardEncoder GetBoardEncoder(uint32_t channel);

// ---- the virtual board's ADC inputs, LED outputs and MCU restarts (docs/virtual-firmware.md) ----

// An analog input of the board's MCU as the converter sees it.
struct BoardAdcInput {
    bool exists;       // the board wires this channel
    double volts;      // at the input (millivolt steps)
    bool sampling;     // started (every channel is, from power-on); else its reading is held
    uint32_t reading;  // what the firmware answers for it now (counts)
};

// The voltage at input `channel` (clipped to 0 and to 4294967 V); false for a
// channel the board does not have.
bool SetBoardAdcVolts(uint32_t channel, double volts);
BoardAdcInput GetBoardAdc(uint32_t channel);

// An LED output as the board's driver drives it.
struct BoardLedOutput {
    bool exists;
    const char* driver;  // "linear", "channels", "dimmer"; "" when the board has none
    uint32_t current;    // mA while on
    uint32_t duty;       // percent
    bool on;
    uint32_t refused;    // frames of the driver (all outputs) it could not take
};

// Outputs are 0..3 on a four-channel driver, 0 on the others.
BoardLedOutput GetBoardLed(uint32_t output);

// The board's MCU as its firmware and its reset line show it.
struct BoardMcu {
    bool resetLine;         // the chipset drives the MCU's reset line through a pad
    uint32_t resetPadWord;  // that pad's word
    bool resetLineHigh;
    uint32_t restarts;      // by the reset line since the board was set up
    uint32_t versionWord;   // what the firmware answers to the version query
};

BoardMcu GetBoardMcu();
// The pad word of the reset line, set without a pulse; false when the board
// has no such pad.
bool PresetBoardMcuResetPad(uint32_t word);

// The library's generator of the bytes that LED family L3 puts in its frames
// continues from `seed` (0 at load).
void SeedLedGenerator(uint32_t seed);

// ---- the shared virtual machine ------------------------------------------------

// The virtual board that every process with the same model and board name
// (HALVEX_VIRTUAL_BOARD, "default" when unset) shares: the virtual library
// and `halvexctl --virtual` run on it. It lasts until it is destroyed; its
// clock follows real time, unless it was created with
// HALVEX_VIRTUAL_CLOCK=manual (explicit advances only).

// The load sequence on the shared machine of `model` (nullptr or "": the
// default model), which is created and powered on when absent (a board of
// this process's own when its object cannot be opened). Unload leaves it.
Load LoadOnSharedVirtualBoard(const char* model);

enum class MachineResult {
    Done,
    Absent,        // there is no such machine: nothing to do
    UnknownModel,  // no virtual board of that name
    Failed,        // its object could not be opened
};

struct MachineAction {
    MachineResult result;
    const char* model;   // the model's name; "" when unknown
    const char* board;   // the board name
    const char* object;  // its shared-memory object ("/halvex32-vm-<model>-<board>.board")
};

// The machine of `model` and this process's board name returns to its
// power-on state in place: every process on it sees it at once.
MachineAction ResetSharedVirtualBoard(const char* model);
// Removes the machine's objects (state, shared words, MCU sharing channel):
// the next process creates it afresh; processes still on it keep the old
// one to themselves.
MachineAction DestroySharedVirtualBoard(const char* model);

// The loaded board's clock follows real time (a shared machine without the
// manual clock): a tool that sleeps need not advance it.
bool BoardClockFollowsRealTime();

}  // namespace hx::service

// ---- the library's model catalog (loads nothing) --------------------------------

namespace hx::service {

// One model of the catalog, in search order.
struct CatalogEntry {
    const char* model;             // model key, as `info` prints it
    SlotGroup groups[kGroupCount]; // family per slot group, "" where empty (as in Info)
    uint32_t diLines;              // input lines of the DIO family
    uint32_t doLines;              // output lines of the DIO family
};

// Entry `index` (from 0); false past the last.
bool GetCatalogEntry(std::size_t index, CatalogEntry* entry);

}  // namespace hx::service
