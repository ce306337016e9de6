"""The python-can interface "halvex32" through python-can's own Bus, Notifier and listeners."""
import can
import pytest

import halvex32 as hx
from conftest import python

MESSAGES = [
    can.Message(channel=0, arbitration_id=0x123, data=b"\xde\xad\xbe\xef", is_extended_id=False),
    can.Message(channel=0, arbitration_id=0x1ABCDEF0, data=bytes(range(8)), is_extended_id=True),
    can.Message(channel=0, arbitration_id=0x7FF, is_extended_id=False, is_remote_frame=True, dlc=3),
    can.Message(channel=0, arbitration_id=0x5, data=b"", is_extended_id=True),
]


def test_entry_point_names_the_bus_class():
    assert can.interfaces.BACKENDS["halvex32"] == ("halvex32.canbus", "HalvexBus")


def test_notifier_delivers_the_looped_back_frames():
    with can.Bus(interface="halvex32", channel=0, receive_own_messages=True) as bus:
        reader, seen = can.BufferedReader(), []

        class Collector(can.Listener):
            def on_message_received(self, msg):
                seen.append(msg)

        notifier, raw = can.Notifier(bus, [reader, Collector()], timeout=0.1), hx.Can()
        for msg in MESSAGES:
            bus.send(msg)
        received = [reader.get_message(timeout=2) for _ in MESSAGES]
        notifier.stop()
    assert [frame.flags for frame in raw.messages(timeout=1)] == [0, 1, 2, 1]  # bit 0 extended, bit 1 remote
    raw.close()
    for sent, back in zip(MESSAGES, received):
        assert back.is_rx and back.equals(sent, timestamp_delta=None, check_direction=False)
    assert seen == received
    hx.Can().setup(0)


def test_bitrate_and_sample_point_reach_the_controller():
    with can.Bus(interface="halvex32", channel="0", bitrate=125000, sample_point=75.0):
        assert hx.Can().bit_timing() == (125000, 750)


@pytest.mark.parametrize("model", ["Trelo-01", "Qantis-02"])  # no CAN; CAN without its data link's thread
def test_bus_reports_a_failed_start(model):
    done = python("import can\ntry: can.Bus(interface='halvex32', channel=0)\n"
                  "except can.CanInitializationError as e: print(e)", model)
    assert (done.returncode, done.stdout) == (0, "CAN_Start failed\n"), done.stderr
