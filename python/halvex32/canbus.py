"""python-can interface "halvex32": the MCU's CAN controller as a can.BusABC.

    bus = can.Bus(interface="halvex32", channel=0, bitrate=250000)

channel is the CAN port index (0). Optional arguments: bitrate (bit/s) and
sample_point (percent, e.g. 87.5) set the bit timing; receive_own_messages
(the controller's loopback) and listen_only set the controller's mode; when
neither is given, the mode is left as it is.
"""
import time

import can

from . import _lib
from .devices import EXTENDED, REMOTE, Can, CanFrame


def to_frame(msg):
    """python-can Message -> the library's frame (flags bit 0 extended id, bit 1 remote request)."""
    if msg.is_fd or msg.is_error_frame:
        raise can.CanOperationError("the controller sends classic data and remote frames only")
    data = b"" if msg.is_remote_frame else bytes(msg.data)
    flags = (EXTENDED if msg.is_extended_id else 0) | (REMOTE if msg.is_remote_frame else 0)
    return CanFrame(msg.arbitration_id, data, flags, msg.dlc)


def to_message(frame, channel):
    return can.Message(timestamp=time.time(), arbitration_id=frame.id, is_extended_id=frame.extended,
                       is_remote_frame=frame.remote, dlc=frame.dlc, data=None if frame.remote else frame.data,
                       channel=channel, is_rx=True)


class HalvexBus(can.BusABC):
    """The Halvex32 CAN port `channel`; received frames come from the library's CAN receive thread."""

    def __init__(self, channel=0, can_filters=None, bitrate=None, sample_point=None,
                 receive_own_messages=None, listen_only=None, **kwargs):
        try:
            self.channel = int(channel)
            self._can = Can(self.channel)
        except _lib.LibraryNotFound as error:
            raise can.CanInterfaceNotImplementedError(str(error)) from error
        except ValueError as error:
            raise can.CanInitializationError("channel %r is no CAN port index" % (channel,)) from error
        self.channel_info = "Halvex32 CAN port %d (%s)" % (self.channel, _lib.lib()._name)
        self._open = True
        try:
            if bitrate is not None:
                self._can.set_bit_timing(int(bitrate), round(float(sample_point) * 10) if sample_point else 0)
            if receive_own_messages is not None or listen_only is not None:
                self._can.setup((Can.LOOPBACK if receive_own_messages else 0) |
                                (Can.LISTEN_ONLY if listen_only else 0))
            self._can.start()
        except _lib.HalvexError as error:
            self._can.close()
            self._open = False
            raise can.CanInitializationError(str(error)) from error
        super().__init__(channel=channel, can_filters=can_filters, **kwargs)

    def send(self, msg, timeout=None):
        try:
            self._can.send(to_frame(msg))
        except _lib.HalvexError as error:
            raise can.CanOperationError(str(error)) from error

    def _recv_internal(self, timeout):
        frame = self._can.recv(timeout)
        return (None if frame is None else to_message(frame, self.channel)), False

    def shutdown(self):
        if self._open:
            self._open = False
            try:
                self._can.close()
            except _lib.HalvexError as error:
                raise can.CanOperationError(str(error)) from error
            finally:
                super().shutdown()

    @staticmethod
    def _detect_available_configs():
        return [{"interface": "halvex32", "channel": 0}]
