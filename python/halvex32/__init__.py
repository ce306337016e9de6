"""Halvex32 from Python: the special hardware of the supported industrial PCs.

    import halvex32
    with halvex32.Watchdog(seconds=30) as wd:
        wd.kick()

Every object calls the exports of the installed library (libhalvex32.so, or
libhalvex32-virtual.so on the virtual board; see halvex32._lib for the
search order). A failing export raises HalvexError, which names it.
"""
from ._lib import HalvexError, LibraryNotFound, lib
from .devices import (EXTENDED, REMOTE, Adc, Can, CanFrame, DiEvent, DiEvents, Dio, Ignition, IgnitionSettings,
                      Poe, Pwm, PwmStatus, Qei, Watchdog, mcu_version)

__version__ = "0.1.0"
__all__ = ["HalvexError", "LibraryNotFound", "lib", "EXTENDED", "REMOTE", "Adc", "Can", "CanFrame", "DiEvent",
           "DiEvents", "Dio", "Ignition", "IgnitionSettings", "Poe", "Pwm", "PwmStatus", "Qei", "Watchdog",
           "mcu_version"]
