"""ctypes binding of the 77 exports of include/halvex32.h.

The library is found at first use, in this order: the path in
$HALVEX32_LIBRARY; libhalvex32-virtual.so when $HALVEX_VIRTUAL_MODEL is set
(the virtual board); else libhalvex32.so (the hardware), falling back to the
virtual library when the hardware one is not installed.
"""
import ctypes
import ctypes.util
import os
import sys
import threading
from ctypes import POINTER, c_double, c_int32, c_uint8, c_uint16, c_uint32, c_void_p

LIBRARY_VARIABLE = "HALVEX32_LIBRARY"
MODEL_VARIABLE = "HALVEX_VIRTUAL_MODEL"
_NATIVE = ("libhalvex32.so", "libhalvex32.so.0")
_VIRTUAL = ("libhalvex32-virtual.so", "libhalvex32-virtual.so.0")
_MACHINE = os.uname().machine if hasattr(os, "uname") else ""
_STANDARD_DIRS = ("/usr/local/lib", "/usr/lib/%s-linux-gnu" % _MACHINE, "/usr/lib")


class HalvexError(RuntimeError):
    """An export reported failure (its result 0). `operation` is the export's name."""

    def __init__(self, operation, detail=None):
        self.operation = operation
        super().__init__("%s failed%s" % (operation, " (%s)" % detail if detail else ""))


class LibraryNotFound(OSError):
    """No Halvex32 library could be loaded."""


# Records, laid out as the header's static_asserts fix them.
class CanMessage(ctypes.Structure):
    _fields_ = [("id", c_uint32), ("flags", c_uint16), ("reserved", c_uint8), ("length", c_uint8),
                ("data", c_uint8 * 8)]


class DiEventRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("inputState", c_uint16), ("eventValue", c_uint16), ("sequence", c_uint8)]


class DicosSetup(ctypes.Structure):
    _fields_ = [("lineMask", c_uint16), ("modeMask", c_uint16), ("polarityMask", c_uint16)]


class IgnSetting(ctypes.Structure):
    _fields_ = [("setting0", c_uint32), ("setting1", c_uint32), ("setting2", c_uint32), ("setting3", c_uint32),
                ("voltage", c_double)]


class Dt2Setup(ctypes.Structure):
    _fields_ = [("words", c_uint32 * 8)]


for _record, _size in ((CanMessage, 16), (DiEventRecord, 5), (DicosSetup, 6), (IgnSetting, 24), (Dt2Setup, 32)):
    assert ctypes.sizeof(_record) == _size, _record.__name__
assert CanMessage.data.offset == 8 and DiEventRecord.sequence.offset == 4 and IgnSetting.voltage.offset == 16

# Callbacks: stdcall on 32-bit Windows, the platform's C convention elsewhere.
_CALLBACK = ctypes.WINFUNCTYPE if sys.platform == "win32" else ctypes.CFUNCTYPE
DicosCallbackFn = _CALLBACK(None, POINTER(DiEventRecord))
CanReceivedCallbackFn = _CALLBACK(None, POINTER(CanMessage), c_uint32)
CanStatusCallbackFn = _CALLBACK(None, c_uint32)
PwmStatusCallbackFn = _CALLBACK(None, c_uint32, c_uint32)
Dt2IndexedCallbackFn = _CALLBACK(None, c_uint32)

BOOL, u8, u16, u32, P = c_int32, c_uint8, c_uint16, c_uint32, c_void_p
pu32, pdouble = POINTER(c_uint32), POINTER(c_double)

# Name, result, arguments: the header's order (ordinals 1..77).
PROTOTYPES = (
    ("DIReadLine", u32, [u8]), ("DIReadPort", u16, []), ("DOWriteLine", None, [u8, u32]),
    ("DOWritePort", None, [u16]), ("InitDIO", BOOL, []), ("InitWDT", BOOL, []),
    ("RegisterWinIOService", u32, []), ("ResetWDT", BOOL, []), ("SetWDT", BOOL, [u16, u8]),
    ("StartWDT", BOOL, []), ("StopWDT", BOOL, []), ("SetupDICOS", BOOL, [POINTER(DicosSetup), u32]),
    ("StartDICOS", BOOL, []), ("StopDICOS", BOOL, []), ("RegisterCallbackDICOS", BOOL, [DicosCallbackFn]),
    ("GetStatusPoEPort", u8, [u8]), ("EnablePoEPort", BOOL, [u8]), ("DisablePoEPort", BOOL, [u8]),
    ("SetupDTIO", BOOL, [P, u32]), ("StartDTIO", BOOL, []), ("StopDTIO", BOOL, []),
    ("SetUnitDTIO", BOOL, [u16, u32]), ("GetUnitDTIO", u16, []),
    ("SetupDTFO", BOOL, [P, u32]), ("StartDTFO", BOOL, []), ("StopDTFO", BOOL, []),
    ("SetUnitDTFO", BOOL, [u16, u32]), ("GetUnitDTFO", u16, []),
    ("DOWriteLineChecked", None, [u8, u32]), ("DOWritePortChecked", None, [u16]),
    ("CAN_RegisterReceived", BOOL, [u32, CanReceivedCallbackFn]),
    ("CAN_RegisterStatus", BOOL, [u32, CanStatusCallbackFn]),
    ("CAN_Setup", BOOL, [u32, P, u32]), ("CAN_Start", BOOL, [u32]), ("CAN_Stop", BOOL, [u32]),
    ("CAN_Send", BOOL, [u32, POINTER(CanMessage), u32]),
    ("CAN_BitTimingGet", BOOL, [u32, P, u32]), ("CAN_BitTimingSet", BOOL, [u32, P, u32]),
    ("PWM_RegisterStatus", BOOL, [PwmStatusCallbackFn]), ("PWM_GenSetup", BOOL, [u32, P, u32]),
    ("PWM_GenPeriod", BOOL, [u32, u32]), ("PWM_PulseWidth", BOOL, [u32, u32]),
    ("PWM_Start", BOOL, [u32]), ("PWM_Stop", BOOL, [u32]),
    ("PWM_SyncTimeBase", BOOL, [u32]), ("PWM_SyncUpdate", BOOL, [u32]),
    ("IGN_GetState", BOOL, [pu32]), ("IGN_GetBatteryVoltage", BOOL, [pdouble]),
    ("MCU_GetVersion", BOOL, [pu32]), ("LED_SetCurrentDriving", BOOL, [u32, u32]),
    ("PWM_PulseInvert", BOOL, [u32]), ("ADC_Start", BOOL, [u32]), ("ADC_Stop", BOOL, [u32]),
    ("ADC_GetData", BOOL, [u32, pdouble]), ("QEI_Start", BOOL, [u32]), ("QEI_Stop", BOOL, [u32]),
    ("QEI_Setup", BOOL, [u32, P, u32]), ("QEI_GetDirection", BOOL, [u32, pu32]),
    ("QEI_GetVelocity", BOOL, [u32, pu32]), ("QEI_GetPosition", BOOL, [u32, pu32]),
    ("QEI_SetPosition", BOOL, [u32, u32]), ("IGN_GetSetting", BOOL, [POINTER(IgnSetting), u32]),
    ("PCI_GetStatusPoEPort", u8, [u32, u32]), ("PCI_EnablePoEPort", BOOL, [u32, u32]),
    ("PCI_DisablePoEPort", BOOL, [u32, u32]), ("PWM_ClockSet", BOOL, [u32, u32]),
    ("DT2_Setup", BOOL, [POINTER(Dt2Setup), u32]), ("DT2_Start", BOOL, []), ("DT2_Stop", BOOL, []),
    ("DT2_SetUnit", BOOL, [u32, u32]), ("DT2_GetUnit", u16, []), ("DT2_StPush", BOOL, [u32, u32]),
    ("DT2_StPull", BOOL, [pu32]), ("DT2_EiRegisterIndexed", BOOL, [Dt2IndexedCallbackFn]),
    ("DT2_EiSendResult", BOOL, [u8, u8]), ("MCU_Reset", BOOL, []), ("StopDIO", BOOL, []),
)
assert len(PROTOTYPES) == 77

_lock = threading.Lock()
_library = None


def candidates():
    """The library files to try, in order."""
    path = os.environ.get(LIBRARY_VARIABLE)
    if path:
        return [path]
    if sys.platform == "win32":
        return ["Halvex32.dll"]
    groups = (_VIRTUAL,) if os.environ.get(MODEL_VARIABLE) else (_NATIVE, _VIRTUAL)
    found = []
    for group in groups:
        for name in group:
            found.append(name)  # the dynamic loader's own search (LD_LIBRARY_PATH, ld.so.cache)
            found.extend(p for p in (os.path.join(d, name) for d in _STANDARD_DIRS) if os.path.exists(p))
        if group is _NATIVE and ctypes.util.find_library("halvex32"):
            found.append(ctypes.util.find_library("halvex32"))
    return found


def _bind(library):
    for name, result, arguments in PROTOTYPES:
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library


def lib():
    """The loaded library with every export's prototype declared (loaded on first call)."""
    global _library
    with _lock:
        if _library is None:
            errors = []
            for name in candidates():
                try:
                    _library = _bind(ctypes.CDLL(name))
                    break
                except OSError as error:
                    errors.append(str(error))
            else:
                raise LibraryNotFound("no Halvex32 library found; set %s to its path (%s)"
                                      % (LIBRARY_VARIABLE, "; ".join(errors)))
        return _library


def check(name, *arguments):
    """Calls export `name`; a result of 0 raises HalvexError naming it."""
    result = getattr(lib(), name)(*arguments)
    if not result:
        raise HalvexError(name)
    return result


def words(values):
    """A u32 array of `values` and its size in bytes, for the records of 32-bit words."""
    array = (c_uint32 * max(len(values), 1))(*[int(v) & 0xFFFFFFFF for v in values])
    return array, 4 * len(values)


def in_range(value, low, high, what):
    value = int(value)
    if not low <= value <= high:
        raise ValueError("%s %d is outside %d..%d" % (what, value, low, high))
    return value
