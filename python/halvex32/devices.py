"""Pythonic objects over the exports: each failure raises HalvexError naming the export."""
import atexit
import ctypes
import threading
from typing import NamedTuple, Optional

from . import _lib
from ._events import EventSource, Subscriber
from ._lib import CanMessage, HalvexError, check, in_range, lib, words

# ---------------------------------------------------------------- watchdog


class Watchdog:
    """The board's watchdog. As a context manager it arms on entry and disarms on exit.

        with Watchdog(seconds=30) as wd:
            while working():
                wd.kick()
    """

    MINUTES, SECONDS = 0, 1  # the unit argument of SetWDT

    def __init__(self, seconds=None, minutes=None):
        check("InitWDT")  # the first InitWDT on the machine resets the time-out to 255 s: call it first
        self.running = False
        if seconds is not None or minutes is not None:
            self.set_timeout(seconds=seconds, minutes=minutes)

    def set_timeout(self, seconds=None, minutes=None):
        if (seconds is None) == (minutes is None):
            raise ValueError("give either seconds or minutes")
        if seconds is not None:
            self.set(in_range(seconds, 1, 0xFFFF, "seconds"), self.SECONDS)
        else:
            self.set(in_range(minutes, 1, 0xFFFF, "minutes"), self.MINUTES)

    def set(self, count, unit):
        """SetWDT: `count` units (0 minutes, 1 seconds); takes effect at the next start or kick."""
        check("SetWDT", in_range(count, 0, 0xFFFF, "count"), in_range(unit, 0, 0xFF, "unit"))

    def start(self):
        check("StartWDT")
        self.running = True

    def kick(self):
        check("ResetWDT")

    def stop(self):
        check("StopWDT")
        self.running = False

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        if self.running:
            self.stop()


# ---------------------------------------------------------------- digital I/O


class Dio:
    """The isolated inputs and outputs; line n is bit n, an active input reads 1."""

    def __init__(self):
        check("InitDIO")

    def read_line(self, line):
        return bool(lib().DIReadLine(in_range(line, 0, 0xFF, "line")))

    def read_port(self):
        return lib().DIReadPort()

    def write_line(self, line, on, checked=False):
        """Switch one output; `checked` waits (at most 100 ms) until it reads back."""
        function = lib().DOWriteLineChecked if checked else lib().DOWriteLine
        function(in_range(line, 0, 0xFF, "line"), 1 if on else 0)

    def write_port(self, value, checked=False):
        function = lib().DOWritePortChecked if checked else lib().DOWritePort
        function(in_range(value, 0, 0xFFFF, "port value"))

    @staticmethod
    def release():
        """StopDIO: close the MCU link this process holds (it stops the link's receive thread too)."""
        check("StopDIO")


class DiEvent(NamedTuple):
    inputs: int   # the input lines after the change, active = 1
    changed: int  # the lines that changed, as the MCU reports them
    sequence: int  # 1 for the first event of a receive-thread run, mod 256


_dicos_started = set()
_DICOS = EventSource(
    "DI change", _lib.DicosCallbackFn, lambda c: check("RegisterCallbackDICOS", c),
    lambda record: DiEvent(record.contents.inputState, record.contents.eventValue, record.contents.sequence))


class DiEvents:
    """Input change events (DICOS) of the lines in `lines` (bit n = line n).

    `edges` is "both", "rising" (to active) or "falling" (to inactive). Events go
    to `callback` on the library's receive thread, or else into a queue read by
    get() and iteration. As a context manager it sets up and starts on entry and
    stops on exit.
    """

    def __init__(self, lines, edges="both", callback=None, queue_size=1024):
        lines = in_range(lines, 1, 0xFFFF, "line mask")
        if edges not in ("both", "rising", "falling"):
            raise ValueError("edges is both, rising or falling")
        mode = 0 if edges == "both" else lines
        self._setup = _lib.DicosSetup(lines, mode, lines if edges == "rising" else 0)
        self._events = Subscriber(_DICOS, callback, queue_size)

    def start(self):
        check("SetupDICOS", ctypes.byref(self._setup), ctypes.sizeof(self._setup))
        check("StartDICOS")
        _dicos_started.add(self)

    def stop(self):
        _dicos_started.discard(self)
        check("StopDICOS")

    def get(self, timeout=None) -> Optional[DiEvent]:
        return self._events.queue.get(timeout)

    def events(self, timeout=None):
        return self._events.queue.iterate(timeout)

    def close(self):
        self._events.close()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        try:
            self.stop()
        finally:
            self.close()


# ---------------------------------------------------------------- PoE


class Poe:
    """PoE port power (ports from 1): on the board, or on the expansion card at index `card` (0..7)."""

    def __init__(self, card=None):
        self.card = None if card is None else in_range(card, 0, 7, "card index")

    def _call(self, board, pci, port):
        if self.card is None:
            return getattr(lib(), board)(in_range(port, 1, 0xFF, "port")), board
        return getattr(lib(), pci)(self.card, in_range(port, 1, 0xFFFFFFFF, "port")), pci

    def status(self, port):
        """True while the port gets power; False also for a port that does not exist."""
        return bool(self._call("GetStatusPoEPort", "PCI_GetStatusPoEPort", port)[0])

    def enable(self, port):
        self._switch("EnablePoEPort", "PCI_EnablePoEPort", port)

    def disable(self, port):
        self._switch("DisablePoEPort", "PCI_DisablePoEPort", port)

    def _switch(self, board, pci, port):
        result, name = self._call(board, pci, port)
        if not result:
            raise HalvexError(name, "port %d" % port)


# ---------------------------------------------------------------- CAN

EXTENDED, REMOTE = 0x1, 0x2  # CanMessage.flags: 29-bit identifier, remote request


class CanFrame(NamedTuple):
    id: int
    data: bytes = b""
    flags: int = 0
    length: Optional[int] = None  # the DLC; None: len(data)

    @classmethod
    def make(cls, id, data=b"", extended=None, remote=False, length=None):
        """A frame whose flags follow the id (above 7FFh: extended) unless `extended` says otherwise."""
        extended = id > 0x7FF if extended is None else extended
        return cls(id, bytes(data), (EXTENDED if extended else 0) | (REMOTE if remote else 0), length)

    @property
    def extended(self):
        return bool(self.flags & EXTENDED)

    @property
    def remote(self):
        return bool(self.flags & REMOTE)

    @property
    def dlc(self):
        return len(self.data) if self.length is None else self.length

    def record(self):
        if len(self.data) > 8:
            raise ValueError("a CAN frame carries at most 8 data bytes")
        data = (ctypes.c_uint8 * 8)(*self.data)
        return CanMessage(in_range(self.id, 0, 0xFFFFFFFF, "id"), in_range(self.flags, 0, 0xFFFF, "flags"), 0,
                          in_range(self.dlc, 0, 0xFF, "length"), data)

    @classmethod
    def from_record(cls, message):
        return cls(message.id, bytes(message.data[:min(message.length, 8)]), message.flags, message.length)


_CAN_RECEIVED = EventSource(
    "CAN received", _lib.CanReceivedCallbackFn, lambda c: check("CAN_RegisterReceived", 0, c),
    lambda message, size: CanFrame.from_record(message.contents))
_CAN_STATUS = EventSource(
    "CAN status", _lib.CanStatusCallbackFn, lambda c: check("CAN_RegisterStatus", 0, c), lambda status: status)
_can_lock = threading.Lock()
_can_started = {}  # port -> the Can objects that started it


class Can:
    """The MCU's CAN controller, `port` 0.

    Received frames go to `on_message(frame)` on the library's CAN receive
    thread, or else into a queue read by recv() and messages(); status words
    likewise to `on_status` or status(). As a context manager it starts on
    entry and closes on exit. The controller stops when the last started Can
    object of the port stops.
    """

    LOOPBACK, LISTEN_ONLY = 0x1, 0x2  # setup word 0, the mode, as the MCU firmware reads it

    def __init__(self, port=0, on_message=None, on_status=None, queue_size=4096):
        self.port = in_range(port, 0, 0xFFFFFFFF, "port")
        self._messages = Subscriber(_CAN_RECEIVED, on_message, queue_size)
        self._status = Subscriber(_CAN_STATUS, on_status, 256)

    @property
    def overruns(self):
        """Frames dropped because the queue was full."""
        return self._messages.queue.overruns

    def setup(self, mode=0, *more):
        """CAN_Setup words: mode (LOOPBACK, LISTEN_ONLY), then acceptance code, mask, reserved."""
        array, size = words((mode,) + more)
        check("CAN_Setup", self.port, array, size)

    def set_bit_timing(self, bitrate, sample_point=0):
        """CAN_BitTimingSet: bit rate in bit/s, sample point in tenths of a percent (0: the default)."""
        array, size = words((bitrate, sample_point))
        check("CAN_BitTimingSet", self.port, array, size)

    def bit_timing(self):
        """CAN_BitTimingGet: (bit rate, sample point in tenths of a percent)."""
        array, size = words((0, 0))
        check("CAN_BitTimingGet", self.port, array, size)
        return tuple(array)

    def start(self):
        with _can_lock:
            check("CAN_Start", self.port)
            _can_started.setdefault(self.port, set()).add(self)

    def stop(self):
        with _can_lock:
            users = _can_started.get(self.port, set())
            users.discard(self)
            if not users:
                check("CAN_Stop", self.port)

    def send(self, frame, data=b"", **options):
        """send(CanFrame) or send(id, data, extended=None, remote=False, length=None)."""
        if not isinstance(frame, CanFrame):
            frame = CanFrame.make(frame, data, **options)
        record = frame.record()
        check("CAN_Send", self.port, ctypes.byref(record), ctypes.sizeof(record))

    def recv(self, timeout=None) -> Optional[CanFrame]:
        return self._messages.queue.get(timeout)

    def messages(self, timeout=None):
        """Received frames; ends once none came for `timeout` seconds (None: never)."""
        return self._messages.queue.iterate(timeout)

    def status(self, timeout=None):
        """The next status word (bus state and error counters), or None."""
        return self._status.queue.get(timeout)

    def close(self):
        try:
            if self in _can_started.get(self.port, ()):
                self.stop()
        finally:
            self._messages.close()
            self._status.close()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()


@atexit.register
def _stop_receive_threads():
    """Stops what this process started while Python can still take the callbacks that are in flight."""
    for port, users in list(_can_started.items()):
        if users:
            users.clear()
            lib().CAN_Stop(port)
    if _dicos_started:
        _dicos_started.clear()
        lib().StopDICOS()


# ---------------------------------------------------------------- PWM


class PwmStatus(NamedTuple):
    generator: int
    status: int  # bits 0..23 of the event: bits 0..7 the kind, 8..23 the duty in tenths of a percent

    @property
    def kind(self):
        return self.status & 0xFF

    @property
    def duty(self):
        return (self.status >> 8) / 10.0


_PWM_STATUS = EventSource(
    "PWM status", _lib.PwmStatusCallbackFn, lambda c: check("PWM_RegisterStatus", c), PwmStatus)


class Pwm:
    """The PWM generators. Status events go to `on_status(PwmStatus)` or a queue
    (events() / status()); they arrive while an MCU receive thread runs (CAN or DI
    events started)."""

    STARTED, STOPPED, WIDTH_EXCEEDS_PERIOD = 1, 2, 3

    def __init__(self, on_status=None, queue_size=256):
        self._status = Subscriber(_PWM_STATUS, on_status, queue_size)

    def clock(self, hz):
        check("PWM_ClockSet", 0, hz)

    def setup(self, generator, period, width, invert=False):
        array, size = words((period, width, 1 if invert else 0))
        check("PWM_GenSetup", generator, array, size)

    def period(self, generator, ticks):
        check("PWM_GenPeriod", generator, ticks)

    def width(self, output, ticks):
        check("PWM_PulseWidth", output, ticks)

    def invert(self, mask):
        check("PWM_PulseInvert", mask)

    def start(self, mask):
        """Start the generators of `mask` (bit n: generator n)."""
        check("PWM_Start", mask)

    def stop(self, mask):
        check("PWM_Stop", mask)

    def sync_time_base(self, generator):
        check("PWM_SyncTimeBase", generator)

    def sync_update(self, generator):
        check("PWM_SyncUpdate", generator)

    def status(self, timeout=None) -> Optional[PwmStatus]:
        return self._status.queue.get(timeout)

    def events(self, timeout=None):
        return self._status.queue.iterate(timeout)

    def close(self):
        self._status.close()


# ---------------------------------------------------------------- ADC, encoder, ignition


def _read(name, channel, kind):
    value = kind()
    check(name, channel, ctypes.byref(value))
    return value.value


class Adc:
    """The analog inputs, read in volts."""

    def read(self, channel):
        return _read("ADC_GetData", channel, ctypes.c_double)

    def start(self, mask=0):
        """Sample the channels of `mask` again (0: every channel)."""
        check("ADC_Start", mask)

    def stop(self, mask=0):
        """Hold the last sample of the channels of `mask`."""
        check("ADC_Stop", mask)


class Qei:
    """The quadrature encoder channels; counts as the MCU keeps them (position wraps at 32 bits)."""

    FORWARD, BACKWARD = 0, 1

    def setup(self, *record):
        """QEI_Setup words: lines per revolution, track swap mask, ..."""
        array, size = words(record)
        check("QEI_Setup", 0, array, size)

    def start(self, mask):
        check("QEI_Start", mask)

    def stop(self, mask):
        check("QEI_Stop", mask)

    def position(self, channel):
        return _read("QEI_GetPosition", channel, ctypes.c_uint32)

    def set_position(self, channel, position):
        check("QEI_SetPosition", channel, position & 0xFFFFFFFF)

    def direction(self, channel):
        return _read("QEI_GetDirection", channel, ctypes.c_uint32)

    def velocity(self, channel):
        """Counts per second."""
        return _read("QEI_GetVelocity", channel, ctypes.c_uint32)


class IgnitionSettings(NamedTuple):
    mode: int
    power_on_delay: int   # seconds
    power_off_delay: int  # seconds
    hard_off_delay: int   # seconds
    cutoff: float         # volts


class Ignition:
    """Ignition key state, battery voltage and the ignition controller's settings."""

    KEY_ON, LOW_BATTERY = 0x1, 0x2  # bits of the state word

    def state(self):
        value = ctypes.c_uint32(0)
        check("IGN_GetState", ctypes.byref(value))
        return value.value

    @property
    def key_on(self):
        return bool(self.state() & self.KEY_ON)

    def battery(self):
        """The battery voltage, volts."""
        value = ctypes.c_double()
        check("IGN_GetBatteryVoltage", ctypes.byref(value))
        return value.value

    def settings(self):
        record = _lib.IgnSetting()
        check("IGN_GetSetting", ctypes.byref(record), ctypes.sizeof(record))
        return IgnitionSettings(record.setting0, record.setting1, record.setting2, record.setting3, record.voltage)


def mcu_version():
    """The MCU firmware's version word."""
    value = ctypes.c_uint32(0)
    check("MCU_GetVersion", ctypes.byref(value))
    return value.value
