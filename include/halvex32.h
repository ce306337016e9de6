/*
 * Halvex32: watchdog, isolated DI/DO, DI change-of-state, PoE, trigger I/O and
 * on-board MCU features (CAN, PWM, ADC, QEI, ignition, LED) of the supported
 * industrial PC models, behind one set of 77 exported functions. Usable from
 * C and C++.
 *
 * Loading. At load the library opens hardware access, recognises the model
 * from the SMBIOS data, and scans PCI buses 0..31 for a PoE expansion card.
 * Nothing else runs then: ports, threads and shared objects are made on
 * first use. On Windows, Halvex32.dll refuses to load (after a message box)
 * when the WinIo driver cannot be opened. libhalvex32.so without access
 * (no iopl or /dev/mem) prints one line on stderr and stays loaded with no
 * model. libhalvex32-virtual.so runs on a virtual board of the model named by
 * HALVEX_VIRTUAL_MODEL. Unloading (or a normal process exit) stops CAN,
 * DICOS and the watchdog where this process started them.
 *
 * Results. HX_BOOL is 1 for success and 0 for failure; there is no error code
 * and no log. Output arguments are written only on success unless noted. A
 * function whose feature the model lacks (or that runs with no model, as
 * without hardware access) returns its default at once without side effects:
 * 0, or nothing for the DO writes. Exceptions are noted per function: the
 * callback registrations, the GetUnit readers, InitDIO, StopDIO and
 * RegisterWinIOService have bodies of their own. Which model has which
 * feature: `halvexctl models --matrix`, or the table in the README.
 *
 * Numbers. Lines are numbered from 0, PoE ports from 1, PCI card indexes
 * from 0. An input reads 1 when active; an output written 1 is on. A record
 * given as pointer and byte size travels as 32-bit words: every word whose
 * first byte lies below pointer + size, so a size of 6 sends two words and a
 * size of 0 sends none (and succeeds). Setup, timing and mask words of the
 * MCU features go to the MCU unchanged: its firmware gives them their units.
 *
 * Waits. Each exchange with the on-board MCU waits at most 1000 ms for its
 * answer (plus 10 ms to complete a partial one); a function of several
 * exchanges stops at the first that fails. Writes to a serial link block
 * until the bytes are sent. A DI/DO request served by another process waits
 * at most 1000 ms. Each SMBus wait of the PoE functions polls at most
 * 100 x 10 ms. Stopping a library thread waits 20 ms, then at most 500 ms.
 *
 * Threads. Any application thread may call any function. One recursive lock
 * per process serialises the hardware and MCU exchanges, so a call may wait
 * for another thread's exchange. Callbacks run on the library's own threads
 * without that lock: keep them short, since their link reads nothing while
 * they run. A callback on the MCU receive thread (DICOS, CAN status, PWM
 * status) cannot talk to the MCU (the exchange times out after 1000 ms) and
 * must not stop CAN or DICOS or call StopDIO; the DT2 indexed-event callback
 * runs on a thread of its own and may. A record passed to a callback is
 * valid only during the call.
 *
 * Processes. Only one process at a time holds the MCU's serial port: the
 * first one to use it. It serves the DI/DO reads and writes of the other
 * processes (MCU-carried DIO only); every other MCU feature works only in
 * the holder. StopDIO gives the port up.
 */
#ifndef HALVEX32_H
#define HALVEX32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define HX_API __cdecl
#define HX_CALLBACK __stdcall
#elif defined(_WIN32)
#define HX_API
#define HX_CALLBACK
#else
#define HX_API
#define HX_CALLBACK
#endif

#ifndef HX_IMPORT
#if defined(HALVEX32_BUILD) && !defined(_WIN32)
#define HX_IMPORT __attribute__((visibility("default")))
#elif defined(_WIN32) && !defined(HALVEX32_BUILD) && !defined(HALVEX32_NO_IMPORT)
#define HX_IMPORT __declspec(dllimport)
#else
#define HX_IMPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 32-bit boolean result: 1 success, 0 failure. */
typedef int32_t HX_BOOL;

/* One CAN message as sent by CAN_Send and received by the received callback
 * (16 bytes). The library checks none of the fields. */
typedef struct CanMessage {
    uint32_t id;       /* message identifier */
    uint16_t flags;    /* message flag bits, passed through unchanged (the
                          virtual board: bit 0 29-bit id, bit 1 remote request) */
    uint8_t reserved;  /* not carried on the wire; 0 in received messages */
    uint8_t length;    /* number of data bytes, 0..8 */
    uint8_t data[8];
} CanMessage;

/* Record handed to the DICOS callback (5 bytes, packed); valid only during
 * the callback. */
#pragma pack(push, 1)
typedef struct DiEventRecord {
    uint16_t inputState; /* input lines after the change, active = 1 */
    uint16_t eventValue; /* lines that changed, as reported by the hardware */
    uint8_t sequence;    /* 1 for the first event of a receive-thread run, mod 256 */
} DiEventRecord;
#pragma pack(pop)

/* Record of SetupDICOS (at least 6 bytes). Line n at bit n. */
typedef struct DicosSetup {
    uint16_t lineMask;     /* lines to watch, must not be empty (C1: lines 0..3) */
    uint16_t modeMask;     /* edge mode bits, passed to the MCU unchanged */
    uint16_t polarityMask; /* active-level bits, sent complemented */
} DicosSetup;

/* Record filled by IGN_GetSetting (24 bytes). The MCU's setting words 0..4;
 * the library divides words 1..3 by 50 (ticks of 20 ms become seconds on
 * the virtual board) and turns word 4 into volts. */
typedef struct IgnSetting {
    uint32_t setting0; /* as the MCU answers it (the virtual board: the mode) */
    uint32_t setting1; /* MCU word / 50 (the virtual board: power-on delay) */
    uint32_t setting2; /* MCU word / 50 (power-off delay) */
    uint32_t setting3; /* MCU word / 50 (hard power-off delay) */
    double voltage;    /* volts (the battery cut-off) */
} IgnSetting;

/* Record of DT2_Setup: exactly eight 32-bit words (see DT2_Setup). */
typedef struct Dt2Setup {
    uint32_t words[8];
} Dt2Setup;

/* Callbacks use the stdcall convention on 32-bit Windows (HX_CALLBACK) and
 * run on the library's threads, outside its lock (see "Threads" above). */
typedef void(HX_CALLBACK *DicosCallbackFn)(DiEventRecord *event);
typedef void(HX_CALLBACK *CanReceivedCallbackFn)(CanMessage *message, uint32_t size);
typedef void(HX_CALLBACK *CanStatusCallbackFn)(uint32_t status);
typedef void(HX_CALLBACK *PwmStatusCallbackFn)(uint32_t generator, uint32_t status);
typedef void(HX_CALLBACK *Dt2IndexedCallbackFn)(uint32_t event);

/* Ordinals 1..77 in this order. */

/* ---- Isolated digital inputs and outputs (DIO) --------------------------
 * The lines, counts and way depend on the model's DIO family: GPIO registers
 * (D1..D6, D9, D11), two pad outputs and no inputs (D10), or sixteen inputs
 * and outputs carried by the MCU (D7, D8, D12; each call is one MCU exchange,
 * or a request to the process that holds the MCU port, both at most 1000 ms).
 * Models without DIO return 0 / do nothing. Call InitDIO once first: before
 * it D4 (Trelo-05) reads 0 and ignores writes, and D10 (Ondra-01) ignores
 * writes. */

/* Input `line` (0..model's inputs-1): 1 when active, 0 when not or when the
 * line is out of range. On MCU-carried DIO a failed exchange reads 1. */
HX_IMPORT uint32_t HX_API DIReadLine(uint8_t line);
/* All inputs, line n at bit n (1 = active), higher bits 0. On MCU-carried DIO
 * a failed exchange reads FFFFh. */
HX_IMPORT uint16_t HX_API DIReadPort(void);
/* Switches output `line` on (value nonzero) or off, leaving the others;
 * a line out of range is ignored. */
HX_IMPORT void HX_API DOWriteLine(uint8_t line, uint32_t value);
/* Writes all outputs at once, line n from bit n. Does nothing on D10. */
HX_IMPORT void HX_API DOWritePort(uint16_t value);
/* Prepares the DIO and returns 1 when it is usable. The first successful call
 * on the machine does the model's set-up (where it has one: outputs off,
 * outputs routed to DIO); later calls, in any process, return 1 at once.
 * D7 and D12 probe the MCU each time (version query, 1000 ms) and return 0
 * when it does not answer. Default: clears the machine-wide "DIO ready" flag
 * and returns 0. */
HX_IMPORT HX_BOOL HX_API InitDIO(void);

/* ---- Watchdog (every model; families W1..W4) ------------------------------
 * The Super I/O watchdog resets the machine when it is not re-armed in time.
 * On W1 models a time-out up to 610 s (or 10 min) also arms the chipset's
 * TCO timer with the exact time. */

/* Restores the time-out to 255 s, once per machine: the first successful call
 * of any process does it, later calls return 1 at once. Returns 0 without
 * hardware access. W2 models need it (in some process) before StartWDT. */
HX_IMPORT HX_BOOL HX_API InitWDT(void);
/* Windows only: installs winio32.sys (already in the system directory) as
 * the kernel driver service "WINIO", then offers a restart in a message box.
 * Closes this process's hardware access first: the library has none until it
 * is loaded again. Returns 1 when the service was created, else 0 (always 0
 * on Linux and on the virtual board). Works whatever the model. */
HX_IMPORT uint32_t HX_API RegisterWinIOService(void);
/* Re-arms (kicks) a running watchdog with the current count, after a SetWDT
 * too (the unit register keeps the unit of StartWDT). Returns 1, also when
 * the watchdog is not running (then nothing is written). */
HX_IMPORT HX_BOOL HX_API ResetWDT(void);
/* Sets the time-out for the next StartWDT or ResetWDT: `count` in `unit`
 * 0 = minutes or 1 = seconds (default 255 s). The chip gets count plus a
 * margin of 0..5 s or 0..1 min by family, in 16 bits: keep count at most
 * 65530. Touches no hardware. Returns 0 for another unit (the count is
 * stored all the same). */
HX_IMPORT HX_BOOL HX_API SetWDT(uint16_t count, uint8_t unit);
/* Arms the watchdog with the set time-out; a second call re-arms it with the
 * current values. Returns 0 on W2 before any InitWDT, and on W1 when the TCO
 * timer cannot be set up. */
HX_IMPORT HX_BOOL HX_API StartWDT(void);
/* Disarms the watchdog (and W1's TCO timer). Returns 1; on W2 models 0 when
 * this process did not start it. */
HX_IMPORT HX_BOOL HX_API StopWDT(void);

/* ---- DI change of state (DICOS; families C1..C3) --------------------------
 * The MCU watches input lines and reports each change; the library calls the
 * registered callback for it on the MCU receive thread, which StartDICOS
 * starts. Each call is one or two MCU exchanges (1000 ms each). */

/* Sends the lines to watch and their modes: `size` at least 6 (else, or
 * null: 0); C1 and C3 also refuse an empty lineMask. On C2 models a running
 * DICOS is stopped around the setup and started again. */
HX_IMPORT HX_BOOL HX_API SetupDICOS(DicosSetup *setup, uint32_t size);
/* Starts the change reports and the MCU receive thread, and routes the
 * outputs to DIO on models that switch them between DIO and trigger I/O. */
HX_IMPORT HX_BOOL HX_API StartDICOS(void);
/* Stops the change reports and the MCU receive thread (so CAN status and PWM
 * status events stop too until the next CAN_Start or StartDICOS). */
HX_IMPORT HX_BOOL HX_API StopDICOS(void);
/* Registers the change callback (null: none), whatever the model; returns 1.
 * The record's sequence counts the changes since the MCU receive thread
 * started, modulo 256 (the first is 1), those without a callback too. */
HX_IMPORT HX_BOOL HX_API RegisterCallbackDICOS(DicosCallbackFn callback);

/* ---- PoE port power on the board (families P1..P6) ------------------------
 * `port` 1..the model's ports (2, 4, 8 or 16). A call is one to four SMBus
 * transactions (an enable or disable holds the library lock across them);
 * each transaction waits at most 100 x 10 ms for the bus host before and
 * again after it. */

/* 1 when the port's power is switched on; 0 when it is not, when the port is
 * out of range, or when the SMBus read fails. */
HX_IMPORT uint8_t HX_API GetStatusPoEPort(uint8_t port);
/* Switches the port's power on / off. 1 for a port in range, whatever the
 * SMBus did (a failed write is not reported); 0 for a port out of range,
 * with no bus access. */
HX_IMPORT HX_BOOL HX_API EnablePoEPort(uint8_t port);
HX_IMPORT HX_BOOL HX_API DisablePoEPort(uint8_t port);

/* ---- Deterministic trigger I/O: DTIO and DTFO (families T1..T3) -----------
 * Two trigger blocks of the MCU that take over the I/O lines while they run.
 * Setup words, unit and adjust go to the MCU; each call is one MCU exchange
 * per frame (1000 ms each). On T2 and T3 models (Trelo-06, Qantis-01,
 * Trelo-10, Ondra-01) setup and start first stop DICOS when the MCU receive
 * thread runs, and no call takes the library lock: another thread's MCU call
 * can take their answer. */

/* Sends the setup record, word k with code 69h + k. `size` in bytes: T1 takes
 * any size (0 sends nothing); T2/T3 need at least 12 and replace zero words 1
 * and 2 by 1 in the caller's record. Null: 0. */
HX_IMPORT HX_BOOL HX_API SetupDTIO(void *setup, uint32_t size);
/* Starts the block and routes the I/O lines to trigger operation. On
 * Ondra-01 (T3) a stop raises the blocks' hold line and a start drops it
 * (after 10 ms high). */
HX_IMPORT HX_BOOL HX_API StartDTIO(void);
/* Stops the block and routes the I/O lines back to DIO. */
HX_IMPORT HX_BOOL HX_API StopDTIO(void);
/* Sets the block's tick: `unit` microseconds plus `adjust` cycles of the MCU's
 * clock (the MCU gets unit x 80 + adjust at 80 MHz on T1; unit x 25 + adjust
 * at 25 MHz on T2/T3, which refuse results above FFFFh). On success the unit
 * is kept for GetUnitDTIO. */
HX_IMPORT HX_BOOL HX_API SetUnitDTIO(uint16_t unit, uint32_t adjust);
/* The unit of the last successful SetUnitDTIO, whatever the model; 0 at load
 * (25 after InitDIO on D5 models). */
HX_IMPORT uint16_t HX_API GetUnitDTIO(void);
/* The same five for the DTFO block (setup codes 49h + k; T2/T3 replace a
 * zero word 2 by 1). */
HX_IMPORT HX_BOOL HX_API SetupDTFO(void *setup, uint32_t size);
HX_IMPORT HX_BOOL HX_API StartDTFO(void);
HX_IMPORT HX_BOOL HX_API StopDTFO(void);
HX_IMPORT HX_BOOL HX_API SetUnitDTFO(uint16_t unit, uint32_t adjust);
HX_IMPORT uint16_t HX_API GetUnitDTFO(void);

/* DOWriteLine and DOWritePort, then, on GPIO-register DIO, the output register
 * is read back, with a yield between reads, until it holds what was written.
 * The wait is bounded: after 100 ms of reads the call returns although the
 * output did not read back (a stuck or unpowered output costs at most that);
 * the library lock stays held throughout, so other calls of the process wait.
 * MCU-carried DIO has no read-back: the same as the unchecked writes. D10:
 * DOWriteLineChecked and DOWritePortChecked do nothing. */
HX_IMPORT void HX_API DOWriteLineChecked(uint8_t line, uint32_t value);
HX_IMPORT void HX_API DOWritePortChecked(uint16_t value);

/* ---- CAN (family N1) ------------------------------------------------------
 * One CAN controller on the MCU: commands go over the MCU link (1000 ms per
 * exchange), messages over a separate CAN data link. `port` is accepted and
 * ignored (the one port is 0). */

/* Register the received-message callback (called on the CAN receive thread
 * with the message and its size, 16) and the status callback (called on the
 * MCU receive thread with the controller's status word). Only `index` 0
 * exists: it returns 1 and stores `callback` (null: none), whatever the
 * model; any other index returns 0 and stores nothing. */
HX_IMPORT HX_BOOL HX_API CAN_RegisterReceived(uint32_t index, CanReceivedCallbackFn callback);
HX_IMPORT HX_BOOL HX_API CAN_RegisterStatus(uint32_t index, CanStatusCallbackFn callback);
/* Sends up to four setup words (bytes beyond 16 are not sent; the virtual
 * board: mode, acceptance code, acceptance mask, reserved). Null: 0. */
HX_IMPORT HX_BOOL HX_API CAN_Setup(uint32_t port, void *setup, uint32_t size);
/* Opens both links, starts the controller and both receive threads, then
 * sleeps 100 ms to let it settle. A failed thread start stops it again;
 * Qantis-02 has no CAN data link thread, so it returns 0 there. */
HX_IMPORT HX_BOOL HX_API CAN_Start(uint32_t port);
/* Stops the controller and the CAN receive thread, and the MCU receive
 * thread unless DICOS runs (waits 20 ms, and up to 500 ms per thread). */
HX_IMPORT HX_BOOL HX_API CAN_Stop(uint32_t port);
/* Writes one message to the CAN data link: `size` at least 16 (only the
 * first 16 bytes are used), null: 0. Takes no lock, does not need CAN_Start
 * and reads no answer; it blocks until written, and 1 means all 16 bytes
 * went out. */
HX_IMPORT HX_BOOL HX_API CAN_Send(uint32_t port, CanMessage *message, uint32_t size);
/* Reads / writes the bit-timing words, as many as `size` covers, word k with
 * its own query / command. Get sends each word's current content and replaces
 * it by the answer; it stops at the first failure, keeping earlier answers.
 * Null: 0. (The virtual board: two words, bit rate and sample point.) */
HX_IMPORT HX_BOOL HX_API CAN_BitTimingGet(uint32_t port, void *timing, uint32_t size);
HX_IMPORT HX_BOOL HX_API CAN_BitTimingSet(uint32_t port, void *timing, uint32_t size);

/* ---- PWM generators (family M1) -------------------------------------------
 * Every PWM call posts its frames to the MCU and reads no answer: 1 means the
 * frames were written, not that the MCU took the values. The library checks
 * no value. */

/* Registers the status callback (null: none), whatever the model; returns 1.
 * It is called on the MCU receive thread with the generator (event bits
 * 24..31) and the status (bits 0..23), and only while that thread runs
 * (started by CAN_Start, StartDICOS or an event-reporting DT2_Setup). */
HX_IMPORT HX_BOOL HX_API PWM_RegisterStatus(PwmStatusCallbackFn callback);
/* Sends generator `generator` its three setup words (`size` at least 12;
 * bytes beyond 12 are not sent; null: 0). The virtual board: period, width,
 * bit 0 of word 2 inverts. */
HX_IMPORT HX_BOOL HX_API PWM_GenSetup(uint32_t generator, void *setup, uint32_t size);
/* Period of `generator`, in ticks of the PWM clock (PWM_ClockSet). */
HX_IMPORT HX_BOOL HX_API PWM_GenPeriod(uint32_t generator, uint32_t period);
/* Active width of output `pulse`, in clock ticks. */
HX_IMPORT HX_BOOL HX_API PWM_PulseWidth(uint32_t pulse, uint32_t width);
/* Start / stop the generators given by `value` (the virtual board: bit n for
 * generator n). */
HX_IMPORT HX_BOOL HX_API PWM_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API PWM_Stop(uint32_t value);
/* Synchronise the time base / apply pending updates of `generator`. */
HX_IMPORT HX_BOOL HX_API PWM_SyncTimeBase(uint32_t generator);
HX_IMPORT HX_BOOL HX_API PWM_SyncUpdate(uint32_t generator);

/* ---- Ignition and battery (families G1..G3) -------------------------------
 * One MCU exchange per value (1000 ms). G2 models (Trelo-07, Trelo-09) take
 * no lock; on Trelo-07 a running DICOS takes their answer and they fail. */

/* The MCU's ignition state word (the virtual board: bit 0 key on, bit 1
 * battery below the cut-off); 0 or 1 (key on) on G2 models. Null: 0. */
HX_IMPORT HX_BOOL HX_API IGN_GetState(uint32_t *state);
/* The battery voltage in volts. Null: 0. */
HX_IMPORT HX_BOOL HX_API IGN_GetBatteryVoltage(double *volts);

/* ---- MCU version (families V1, V2) ----------------------------------------
 * The MCU's firmware version word (the query carries *version's current
 * content). One exchange, 1000 ms. Null: 0. */
HX_IMPORT HX_BOOL HX_API MCU_GetVersion(uint32_t *version);

/* ---- LED drive (families L1..L3) ------------------------------------------
 * Sets the LED drive current and duty; one MCU exchange (1000 ms).
 * L1 (Trelo-05): `selection` is the mode 0..2; mode 1: `value` is the current
 *   in mA; modes 0 and 2 send the low 16 bits of `value` as they are.
 * L2 (four channels): `selection` bits 0..15 the mode 0..3, bits 16..31 the
 *   channels (bit 16 + n for channel n; none: all). Mode 0 off; 1 `value` mA
 *   (up to 1999) at full duty; 2 full current at duty `value` / 100 percent;
 *   3 `value` bits 16..31 mA at duty (bits 0..15) / 100 percent.
 * L3 (Ondra-01): mode 0..2, `value` 0..500 mA (mode 1); takes no lock.
 * A mode (or L3 value) out of range returns 0 and sends nothing. */
HX_IMPORT HX_BOOL HX_API LED_SetCurrentDriving(uint32_t selection, uint32_t value);
/* Makes the PWM outputs given by `value` active low (the virtual board: bit
 * n for output n; the mask replaces the previous one). */
HX_IMPORT HX_BOOL HX_API PWM_PulseInvert(uint32_t value);

/* ---- Analog inputs (family A1) --------------------------------------------
 * One MCU exchange each (1000 ms). */

/* Start / stop sampling of the inputs given by `value` (firmware-defined).
 * A start that is not echoed sends a stop with the same value and returns 0. */
HX_IMPORT HX_BOOL HX_API ADC_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API ADC_Stop(uint32_t value);
/* Input `channel` in volts (reading x 33 / 3723). Null: 0. */
HX_IMPORT HX_BOOL HX_API ADC_GetData(uint32_t channel, double *volts);

/* ---- Quadrature encoder inputs (family Q1) --------------------------------
 * One MCU exchange per frame (1000 ms); values pass unscaled. The virtual
 * board: direction 0 forward, 1 backward; velocity in counts per second;
 * position in counts (4 per encoder line), wrapping modulo 2^32. */

/* Start / stop counting on the channels given by `value` (bit n: channel n). */
HX_IMPORT HX_BOOL HX_API QEI_Start(uint32_t value);
HX_IMPORT HX_BOOL HX_API QEI_Stop(uint32_t value);
/* Sends the setup words that `size` covers (the first argument is ignored).
 * Stops at the first word not echoed. Null: 0. */
HX_IMPORT HX_BOOL HX_API QEI_Setup(uint32_t ignored, void *setup, uint32_t size);
/* Direction, velocity and position of `channel`. Null: 0. */
HX_IMPORT HX_BOOL HX_API QEI_GetDirection(uint32_t channel, uint32_t *direction);
HX_IMPORT HX_BOOL HX_API QEI_GetVelocity(uint32_t channel, uint32_t *velocity);
HX_IMPORT HX_BOOL HX_API QEI_GetPosition(uint32_t channel, uint32_t *position);
/* Sets the position counter of `channel` (two exchanges). */
HX_IMPORT HX_BOOL HX_API QEI_SetPosition(uint32_t channel, uint32_t position);

/* Fills `setting` (`size` at least 24; null: 0) with the ignition settings,
 * five MCU exchanges (1000 ms each). A failure may leave some words already
 * replaced (and, on G3, voltage 0.0). Default on G2 models too. */
HX_IMPORT HX_BOOL HX_API IGN_GetSetting(IgnSetting *setting, uint32_t size);

/* ---- PoE ports of an expansion card ---------------------------------------
 * The card found at load (Intel 8086:1521 or 8086:1563 network controller on
 * device 0 of a bus; `halvexctl info` names it), whatever the model. `card`
 * 0..7 selects its power controller (SMBus address 21h + 2 x card), `port`
 * 1..4. Out of range: 0, no bus access. No card: 0. SMBus waits as for the
 * board's PoE ports. */

/* 1 when the port's power is switched on, else 0. */
HX_IMPORT uint8_t HX_API PCI_GetStatusPoEPort(uint32_t card, uint32_t port);
/* Switch the port's power on / off; 1 for valid arguments, whatever the bus
 * did. */
HX_IMPORT HX_BOOL HX_API PCI_EnablePoEPort(uint32_t card, uint32_t port);
HX_IMPORT HX_BOOL HX_API PCI_DisablePoEPort(uint32_t card, uint32_t port);

/* The PWM counting clock in Hz (`module` is ignored; the virtual board counts
 * at 1 MHz until set). */
HX_IMPORT HX_BOOL HX_API PWM_ClockSet(uint32_t module, uint32_t clock);

/* ---- DT2 trigger engine (families E1, E2) ---------------------------------
 * Setup, start, stop, unit and result are MCU exchanges (1000 ms each); the
 * status lines are chipset pads and need no MCU. */

/* Sends a copy of the record; `size` must be 32 and `setup` not null. Word 0
 * is the control word: bits 24..31 the source kind k, bit 10 or 11 asks for
 * indexed events. Word 2 (unless k is 0 or 4) and word 3 (unless k is 0) are
 * source codes, turned into the model's line masks; a code the model does not
 * know returns 0 before anything is sent (Vexa-06 knows none). When events
 * are asked for, it then starts the MCU receive thread and the DT2 event
 * thread, which run on after DT2_Stop (until a CAN or DICOS stop, or
 * unload); Vexa-06 has no DT2 event thread and returns 0 there. */
HX_IMPORT HX_BOOL HX_API DT2_Setup(Dt2Setup *setup, uint32_t size);
/* Start / stop the engine; they route the I/O lines to trigger operation /
 * back to DIO on models that switch them. */
HX_IMPORT HX_BOOL HX_API DT2_Start(void);
HX_IMPORT HX_BOOL HX_API DT2_Stop(void);
/* Sets the engine's tick: `unit` microseconds plus `adjust` cycles of its
 * 80 MHz clock (unit x 80 + adjust). On success the low 16 bits of `unit`
 * are kept for DT2_GetUnit. */
HX_IMPORT HX_BOOL HX_API DT2_SetUnit(uint32_t unit, uint32_t adjust);
/* The unit of the last successful DT2_SetUnit, whatever the model; 0 at
 * load. */
HX_IMPORT uint16_t HX_API DT2_GetUnit(void);
/* Drives the status output lines: bit n of `values` to line n. E1: nine
 * lines, `mask` ignored; E2: two lines, only those set in `mask` (each is
 * switched to an output). Returns 1; takes no lock. */
HX_IMPORT HX_BOOL HX_API DT2_StPush(uint32_t mask, uint32_t values);
/* Reads the status input lines into *values, line n at bit n (E1: eight,
 * E2: two; E2 switches a line that was an output to an input and waits 2 ms).
 * Null: 0, on every model. */
HX_IMPORT HX_BOOL HX_API DT2_StPull(uint32_t *values);
/* Registers the indexed-event callback (null: none), whatever the model;
 * returns 1. It runs on the DT2 event thread with the event's word (the
 * virtual board: index in bits 0..7) and may call DT2_EiSendResult. An event
 * that arrives before the previous one was delivered replaces it. */
HX_IMPORT HX_BOOL HX_API DT2_EiRegisterIndexed(Dt2IndexedCallbackFn callback);
/* Answers indexed event `index` with `result`. */
HX_IMPORT HX_BOOL HX_API DT2_EiSendResult(uint8_t index, uint8_t result);

/* Pulses the MCU's reset line for 50 ms through a chipset pad (V2 models:
 * Vexa-04..06); needs no MCU link, takes no lock and does not wait for the
 * MCU to come back. Returns 1. */
HX_IMPORT HX_BOOL HX_API MCU_Reset(void);
/* Gives up this process's MCU port, whatever the model: stops the MCU
 * receive thread (so DICOS, CAN status, PWM status and DT2 events stop) and
 * closes the port; the next MCU call opens it again, if no other process
 * took it. Returns 1. */
HX_IMPORT HX_BOOL HX_API StopDIO(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Record layouts are part of the binary interface. */
#ifdef __cplusplus
#define HX_STATIC_ASSERT static_assert
#else
#define HX_STATIC_ASSERT _Static_assert
#endif
HX_STATIC_ASSERT(sizeof(CanMessage) == 16, "CanMessage is 16 bytes");
HX_STATIC_ASSERT(offsetof(CanMessage, flags) == 4, "CanMessage.flags at 4");
HX_STATIC_ASSERT(offsetof(CanMessage, reserved) == 6, "CanMessage.reserved at 6");
HX_STATIC_ASSERT(offsetof(CanMessage, length) == 7, "CanMessage.length at 7");
HX_STATIC_ASSERT(offsetof(CanMessage, data) == 8, "CanMessage.data at 8");
HX_STATIC_ASSERT(sizeof(DiEventRecord) == 5, "DiEventRecord is 5 bytes");
HX_STATIC_ASSERT(offsetof(DiEventRecord, eventValue) == 2, "DiEventRecord.eventValue at 2");
HX_STATIC_ASSERT(offsetof(DiEventRecord, sequence) == 4, "DiEventRecord.sequence at 4");
HX_STATIC_ASSERT(sizeof(DicosSetup) == 6, "DicosSetup is 6 bytes");
HX_STATIC_ASSERT(offsetof(DicosSetup, modeMask) == 2, "DicosSetup.modeMask at 2");
HX_STATIC_ASSERT(offsetof(DicosSetup, polarityMask) == 4, "DicosSetup.polarityMask at 4");
HX_STATIC_ASSERT(sizeof(IgnSetting) == 24, "IgnSetting is 24 bytes");
HX_STATIC_ASSERT(offsetof(IgnSetting, setting3) == 12, "IgnSetting.setting3 at 12");
HX_STATIC_ASSERT(offsetof(IgnSetting, voltage) == 16, "IgnSetting.voltage at 16");
HX_STATIC_ASSERT(sizeof(Dt2Setup) == 32, "Dt2Setup is 32 bytes");

#endif /* HALVEX32_H */
