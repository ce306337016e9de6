// Plain state of the board's serial links: the MCU firmware, the CAN
// controller, the faults of the simulated transport and the device paths the
// links are published under. No pointers, no OS objects (part of BoardState).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

namespace hx::sim {

inline constexpr std::size_t kMcuFrameBytes = 7;
inline constexpr std::size_t kCanFrameBytes = 16;

// How the firmware took a request.
enum class RequestKind : u8 {
    Query,         // answered with the same code and a result word
    Command,       // echoed
    Post,          // not answered
    ShortCommand,  // older dialect, echoed
    Text,          // ignition text request (3Fh), answered
    Unknown,       // valid frame of a code the firmware does not know: no answer
    BadChecksum,   // dropped
};

struct ReceivedFrame {
    u8 bytes[kMcuFrameBytes];
    RequestKind kind;
};

inline constexpr std::size_t kFirmwareLogCapacity = 128;
// Words of an open-ended setup record that the firmware keeps; later words
// are taken and echoed all the same.
inline constexpr std::size_t kSetupWordsKept = 16;


// Events and other bytes the firmware sends on its own, waiting for the
// link host to put them on the line (after any answer being sent).
inline constexpr std::size_t kOutboxBytes = 1024;

struct OutboxState {
    u8 bytes[kOutboxBytes];
    u32 head;     // next byte to send
    u32 tail;     // next free byte; head == tail: empty
    u32 dropped;  // bytes that did not fit
};

// ---- DI change of state (sim/firmware/dicos_engine.*) ----
// How a board's MCU reports a change of the inputs it watches (a property of
// its firmware, named by the board's row; docs/virtual-firmware.md).
enum class DiEventForm : u8 {
    None,      // the MCU watches no inputs
    Frame8,    // event frame 30h: input state and changed lines, a byte each
    Frame16,   // event frame 30h: inactive lines and changed lines, 16 bits each
    Message3,  // 3-byte message: 40h, changed lines, sum
};

struct DicosEngineState {
    bool running;    // between a start (31h) and a stop (30h)
    u32 setup[2];    // the setup words as received (32h, 33h)
    u32 events;      // events raised since power-on
};

// ---- DT2 trigger engine (sim/firmware/dt2_engine.*) ----
// Words and counters as docs/virtual-firmware.md defines them.
inline constexpr std::size_t kDt2SetupWords = 8;
inline constexpr std::size_t kDt2Indexes = 256;
inline constexpr std::size_t kDt2IndexWords = kDt2Indexes / 32;
inline constexpr std::size_t kDt2Held = 16;

struct Dt2EngineState {
    bool running;
    u32 unit;                       // tick length in cycles of the engine's 80 MHz clock
    u32 setup[kDt2SetupWords];
    u8 nextIndex;                   // index of the next indexed event
    u32 waiting[kDt2IndexWords];    // index n raised, no result yet: bit n % 32 of word n / 32
    u32 waitingCount;
    u32 held[kDt2Held];             // reports held while the limit is reached: line | sources
    u32 heldHead;
    u32 heldCount;
    u32 missedSinceReport;          // carried in the next event
    u32 triggers;                   // firings of a source line while running
    u32 raised;                     // indexed events raised
    u32 missed;                     // firings not reported: the held reports were full
    u32 results;                    // result commands taken
    u32 answered;                   // ... of them for an index that was waiting
    u8 lastIndex;
    u8 lastResult;
    u32 answeredSet[kDt2IndexWords];  // index n has a result: bit n % 32 of word n / 32
    u8 resultOf[kDt2Indexes];         // the last result taken for each index
};

// ---- CAN controller, command side (sim/firmware/can_controller.*) ----
inline constexpr std::size_t kCanTimingWords = 2;  // bit rate, sample point
inline constexpr std::size_t kCanSetupWords = 4;   // mode, acceptance code, acceptance mask, reserved

struct CanEngineState {
    bool running;  // started (81h) and not stopped (80h) since
    bool busOff;   // left the bus after too many errors; the next start brings it back
    u32 starts;
    u32 stops;
    u32 bitTiming[kCanTimingWords];  // as written; 0 reads as the default
    u32 setup[kCanSetupWords];
    u32 status;  // the bus state last reported (status word of event 61h)
};

// ---- What a board's MCU firmware carries ------------------------------------------
// A property of the board (its row names it): which functions its firmware
// has, and in which form. A request of a function the board lacks is a code
// the firmware does not know: it is not answered.

// How the firmware senses the ignition key and the battery.
enum class IgnitionSense : u8 {
    None,
    Queries33V,    // queries F5h..FBh; the battery on a 33 V range read over 3723 counts
    Queries12Bit,  // queries F5h..FBh; a 12-bit reading of 3.4 V behind an 11:1 divider
    Text10Bit,     // text requests IGNS, VOLT (code 3Fh); a 10-bit reading behind the same divider
};

// How the trigger I/O blocks (DTIO, DTFO) are driven.
enum class TriggerDialect : u8 {
    None,
    Framed,     // full frames for every request; unit word = unit x 80 + adjust
    Short,      // start, stop and prepare as short commands; 16-bit unit word = unit x 25 + adjust
    ShortHeld,  // Short, and the blocks are held while the board's hold line is high
};

// The LED output driver behind command 7Ah.
enum class LedDriver : u8 {
    None,
    Linear,    // one output; a 12-bit current setting in a 16-bit word
    Channels,  // up to four outputs: mode, channel mask, duty and a current code
    Dimmer,    // one output, a 10-bit level
};

struct McuFunctionSet {
    IgnitionSense ignition;
    TriggerDialect trigger;
    LedDriver led;
    u8 pwmOutputs;     // 0: no PWM generators
    u8 qeiChannels;    // 0: no encoder inputs
    u8 adcChannels;    // 0: no analog inputs
    bool versionQuery; // reports its version (FFh; without it the answer is 0)
    u32 resetPad;      // physical address of the pad word on the MCU's reset line; 0: none
    u32 holdPad;       // ShortHeld: physical address of the hold line's pad word
};

// ---- ignition (sim/firmware/ignition_engine.*) ----
// Settings words F7h..FBh (docs/virtual-firmware.md, "Ignition and battery").
inline constexpr std::size_t kIgnitionSettingWords = 5;
inline constexpr std::size_t kIgnitionMode = 0, kIgnitionOnDelay = 1, kIgnitionOffDelay = 2,
                             kIgnitionHardOffDelay = 3, kIgnitionCutOff = 4;
// The key and the battery as the vehicle's wiring sets them, and the
// ignition controller's settings as the board was configured (kept in the
// MCU's flash): none of it changes when the firmware restarts.
struct IgnitionWorld {
    bool keyOn;
    u32 batteryMillivolts;
    u32 settings[kIgnitionSettingWords];  // mode; on, off and hard-off delays in 20 ms ticks; cut-off reading
};
// The sense answers from the world alone: nothing of it changes with requests.
struct IgnitionEngineState {};

// ---- trigger I/O (sim/firmware/trigger_engine.*) ----
// Words and counters as docs/virtual-firmware.md defines them.
struct TriggerUnitState {  // DTIO or DTFO
    bool running;
    u32 prepares;
    u32 unit;  // the tick length in cycles of the dialect's clock, as taken
    u32 setup[kSetupWordsKept];
    u32 starts;          // starts taken
    u32 stops;           // stops taken
    u32 refusedStarts;   // starts not answered: the blocks were held
};
struct TriggerEngineState {
    TriggerUnitState dtfo;
    TriggerUnitState dtio;
    u32 holds;  // times the hold line went high (stopping the blocks)
};
// The blocks' hold line (ShortHeld boards) as the chipset's pad word drives it.
struct TriggerHoldWorld {
    u32 padWord;  // bit 0: the line's level; high holds the blocks
};

// ---- PWM (sim/firmware/pwm_engine.*) ----
// Words and counters as docs/virtual-firmware.md defines them.
inline constexpr std::size_t kPwmOutputsMax = 8;
inline constexpr std::size_t kPwmSetupWords = 3;
struct PwmEngineState {
    u32 clock;       // counting clock in Hz; 0 reads as the power-on 1 MHz
    u32 generator;   // selected by 92h
    u32 pulse;       // output selected by 94h
    u32 running;     // generator n runs: bit n
    u32 inverted;    // output n is active low: bit n
    u32 period[kPwmOutputsMax];  // clock ticks
    u32 width[kPwmOutputsMax];   // clock ticks the output is active
    u32 genSetup[kPwmOutputsMax][kPwmSetupWords];  // setup words as received
    u32 timeBaseSyncs[kPwmOutputsMax];  // 97h: the counter restarted
    u32 updateSyncs[kPwmOutputsMax];    // 98h
    u32 ignored;     // posts naming a generator or output the board lacks
    u32 events;      // status events raised
};

// ---- encoder (sim/firmware/qei_engine.*) ----
// Words and units as docs/virtual-firmware.md defines them.
inline constexpr std::size_t kQeiChannelsMax = 4;
struct ShaftWorld {  // the shaft on the encoder inputs (every channel's encoder sits on it)
    std::int32_t rpm;  // signed: negative turns backwards
};
struct QeiEngineState {
    u32 running;  // channel n counts while bit n is set
    u32 channel;  // the channel that set position (B6h) acts on
    u32 position[kQeiChannelsMax];   // counts, wrapping modulo 2^32
    u32 direction[kQeiChannelsMax];  // sense of the channel's last count: 0 up, 1 down
    // The part of a count turned but not yet counted, in 1/60000 counts
    // (counts per minute x milliseconds), same sign as the turn.
    std::int64_t fraction[kQeiChannelsMax];
    u32 setup[kSetupWordsKept];
};

// ---- ADC (sim/firmware/adc_engine.*) ----
inline constexpr std::size_t kAdcChannelsMax = 8;
struct AdcWorld {  // the voltages on the analog inputs
    u32 millivolts[kAdcChannelsMax];
};
struct AdcEngineState {
    u32 startValue;  // the last start word (A1h)
    u32 stopValue;   // the last stop word (A0h)
    u32 held;        // channel n at bit n: stopped, its last sample held
    u32 sample[kAdcChannelsMax];  // the sample a stopped channel holds
};

// ---- LED drive (sim/firmware/led_engine.*) ----
inline constexpr std::size_t kLedOutputsMax = 4;
struct LedOutputState {
    u32 setting;  // the driver's own setting (12-bit word, current code or 10-bit level)
    u32 current;  // mA the output drives while on
    u32 duty;     // percent of the time it is on
    bool on;
};
struct LedEngineState {
    u32 setting;  // the last 7Ah payload
    u32 taken;    // frames the driver took
    u32 refused;  // frames echoed that the driver could not take (nothing changed)
    LedOutputState outputs[kLedOutputsMax];
};

// ---- MCU reset line (sim/chips/mcu_reset_pad.*) ----
struct ResetLineWorld {  // the chipset pad that drives the MCU's reset line
    u32 padWord;  // bits 0..11 the pad's configuration, as last written
    bool high;    // the line's level as the MCU sees it
};

// What the MCU senses of the world; kept when the firmware restarts.
struct McuWorldState {
    IgnitionWorld ignition;
    ShaftWorld shaft;
    AdcWorld adc;
    ResetLineWorld resetLine;
    TriggerHoldWorld triggerHold;
};

struct McuFirmwareState {
    // Kept across a restart (power-on and the reset line).
    McuFunctionSet functions;
    McuWorldState world;
    u32 restarts;  // restarts by the reset line since the board was set up

    bool poweredOn;
    u32 version;
    u16 diActive;  // input lines that are active (line n at bit n)
    u16 doOn;      // output lines that are on

    DicosEngineState dicos;
    TriggerEngineState trigger;
    Dt2EngineState dt2;
    CanEngineState can;
    IgnitionEngineState ign;
    PwmEngineState pwm;
    QeiEngineState qei;
    AdcEngineState adc;
    LedEngineState led;

    // The open-ended setup record being received: the code of its first
    // word (0: none) and the words taken; the next word has code first + words.
    struct {
        u8 first;
        u32 words;
    } setupRecord;

    OutboxState outbox;

    // Receive side: the frame being assembled, and what came in.
    u8 rx[kMcuFrameBytes];
    u32 rxHeld;
    u32 bytesReceived;
    u32 noiseBytes;  // bytes dropped while hunting for a lead byte
    u32 framesReceived;
    ReceivedFrame log[kFirmwareLogCapacity];  // frame i at log[i % capacity]
};

inline constexpr std::size_t kCanLogCapacity = 64;
inline constexpr std::size_t kCanPeers = 8;
// Frames waiting to go to the library: 1024 frames of 16 bytes (a power of
// two, so that the byte counters may wrap).
inline constexpr std::size_t kCanQueueBytes = 16384;

// One CAN message as the controller saw it on the wire.
struct CanWireMessage {
    u32 id;
    u16 flags;
    u8 length;
    u8 data[8];
};

// A node on the bus that answers every frame of id `trigger` with `reply`.
struct CanPeer {
    bool used;
    u32 trigger;
    CanWireMessage reply;
    u32 answers;
};

// The bus load: frames of id `id` towards the library, `rate` per second,
// or a burst of `burstLeft` frames as fast as the library takes them.
// Each carries its sequence number (data bytes 0..3) and its complement
// (bytes 4..7).
struct CanLoadState {
    u32 rate;
    u32 burstLeft;
    u32 id;
    u32 sequence;  // of the next load frame
    u32 sent;      // load frames queued since the load was set
    u32 epoch;     // changes with every new load: the link host restarts its clock
};

struct CanControllerState {
    // From the library: the frame being assembled, and every frame taken.
    u8 rx[kCanFrameBytes];
    u32 rxHeld;
    u32 noiseBytes;
    u32 framesReceived;
    CanWireMessage log[kCanLogCapacity];  // frame i at log[i % capacity]
    u32 notSent;  // taken while stopped or bus-off: not put on the bus

    // The bus: what the library put on it, and the scripted peers.
    u32 onBus;
    CanWireMessage busLog[kCanLogCapacity];  // frame i at busLog[i % capacity]
    CanPeer peers[kCanPeers];

    // Towards the library.
    u8 queue[kCanQueueBytes];
    u32 queueHead;  // next byte to write
    u32 queueTail;  // next free byte
    u32 delivered;  // frames queued for the library
    u32 missed;     // frames on the bus while stopped or bus-off
    u32 filtered;   // frames the acceptance filter kept away
    u32 overruns;   // frames lost: the queue was full
    bool overrunReported;  // since the queue last ran empty
    CanLoadState load;

    // Both directions of the CAN data link limited to its wire rate.
    bool paced;
};

// Faults of the simulated transport, applied to what the firmware sends.
// Counters arm the next N answers; they count down as they fire.
struct LinkFaultState {
    u32 passAnswers;           // answers that go out untouched before the faults below fire
    u32 dropAnswers;           // not sent at all
    u32 delayAnswers;          // held back for delayMs
    u32 delayMs;
    u32 corruptChecksum;       // last byte changed
    u32 otherCode;             // another command code, with a valid checksum
    u32 noiseBefore;           // preceded by noiseBytes bytes of line noise
    u32 noiseBytes;
    u32 staleBefore;           // preceded by a stale answer of another code
    u32 splitChunk;            // while non-zero: every answer written in chunks of this size
    u32 splitGapMs;            // pause between chunks, and between the two parts of a burst
    u32 burstAround;           // answers sent in a burst between two event frames
    u8 burstCode;              // their event code
    u32 burstPayload;          // payload of the first; the second carries payload + 1
    u32 burstSplitAt;          // the burst goes out in two writes, the first this many bytes long
};

enum class LinkRole : u8 { Mcu, Can };
inline constexpr std::size_t kLinkRoles = 2;
inline constexpr std::size_t kLinkPathMax = 32;
inline constexpr std::size_t kPublishedKinds = 4;

// The MCU's ways to its command link: its UART and, on some boards, its own
// USB CDC function. Both reach the same firmware.
enum class McuPort : u8 { Uart, Usb };
inline constexpr std::size_t kMcuPorts = 2;

struct PublishedLink {
    u32 portKind;  // 0: unused entry
    LinkRole role;
    McuPort port;  // which of the MCU's ports (role Mcu)
};

struct LinkPathState {
    bool hostUp;                           // the links run (paths below valid)
    char path[kLinkRoles][kLinkPathMax];   // device path per role, empty when taken away
    PublishedLink kinds[kPublishedKinds];  // the port kinds under which the links are found
    u32 lookups;                           // discovery requests the board answered
    bool mcuPortAbsent[kMcuPorts];         // unplugged or disabled: discovery does not find it
};

struct SerialLinkState {
    McuFirmwareState mcu;
    CanControllerState can;
    LinkFaultState faults[kLinkRoles];
    LinkPathState paths;
};

}  // namespace hx::sim
