"""The package's objects on the virtual board (Trelo-11 unless marked), asserting on what the board did."""
import logging

import pytest

import halvex32 as hx
from conftest import halvexctl

FRAMES = [  # (frame sent, as it comes back); flags bit 0: 29-bit id, bit 1: remote request
    (hx.CanFrame.make(0x123, b"\xde\xad\xbe\xef"), hx.CanFrame(0x123, b"\xde\xad\xbe\xef", 0, 4)),
    (hx.CanFrame.make(0x7FF, bytes(range(8))), hx.CanFrame(0x7FF, bytes(range(8)), 0, 8)),
    (hx.CanFrame.make(0x800), hx.CanFrame(0x800, b"", 1, 0)),
    (hx.CanFrame.make(0x12345678, b"\x01", extended=True), hx.CanFrame(0x12345678, b"\x01", 1, 1)),
    (hx.CanFrame.make(0x321, remote=True, length=4), hx.CanFrame(0x321, bytes(4), 2, 4)),
]


@pytest.fixture
def can_loopback():
    with hx.Can() as can:
        can.setup(hx.Can.LOOPBACK)
        yield can
    hx.Can().setup(0)


def test_can_frames_come_back_to_queue_and_callbacks(can_loopback, caplog):
    seen, failing = [], []
    listener = hx.Can(on_message=seen.append)
    raising = hx.Can(on_message=lambda frame: failing.append(frame) or 1 / 0)
    for sent, _ in FRAMES:
        can_loopback.send(sent)
    expected = [back for _, back in FRAMES]
    assert list(can_loopback.messages(timeout=2)) == expected
    listener.close(), raising.close()
    assert seen == expected and failing == expected  # the receive thread outlived five exceptions
    assert caplog.records[0].levelno == logging.ERROR and "ZeroDivisionError" in caplog.text


@pytest.mark.parametrize("written, read", [((250000, 800), (250000, 800)), ((0, 0), (500000, 875))])
def test_can_bit_timing(written, read):
    can = hx.Can()
    can.set_bit_timing(*written)
    assert can.bit_timing() == read


def test_pwm_status_events_follow_the_generator(can_loopback):  # CAN runs the MCU receive thread
    pwm = hx.Pwm()
    steps = [(lambda: pwm.setup(1, 100, 25), None), (lambda: pwm.start(0b10), (1, hx.Pwm.STARTED, 25.0)),
             (lambda: pwm.width(1, 150), (1, hx.Pwm.WIDTH_EXCEEDS_PERIOD, 100.0)),
             (lambda: pwm.stop(0b10), (1, hx.Pwm.STOPPED, 100.0))]
    for action, expected in steps:
        action()
        if expected:
            event = pwm.status(timeout=2)
            assert (event.generator, event.kind, event.duty) == expected
    pwm.close()


@pytest.mark.parametrize("channel, position, read", [(0, 1234, 1234), (1, -1, 0xFFFFFFFF), (2, 5, 0)])
def test_qei_position_as_the_firmware_counts(channel, position, read):
    qei = hx.Qei()
    qei.set_position(channel, position)
    assert (qei.position(channel), qei.direction(channel), qei.velocity(channel)) == (read, hx.Qei.FORWARD, 0)


def test_ignition_at_rest():
    ign = hx.Ignition()
    assert ign.state() == hx.Ignition.KEY_ON and ign.key_on
    assert 12.0 - 37.4 / 4096 <= ign.battery() <= 12.0  # 12-bit reading, rounded down
    assert ign.settings() == (3, 5, 30, 120, pytest.approx(1149 * 37.4 / 4096))


def test_poe_ports_switch_and_refuse():
    poe = hx.Poe()
    poe.enable(3)
    assert [poe.status(port) for port in range(1, 9)] == [False, False, True] + [False] * 5
    poe.disable(3)
    assert not poe.status(3)
    with pytest.raises(hx.HalvexError, match=r"^EnablePoEPort failed \(port 9\)$"):
        poe.enable(9)
    with pytest.raises(hx.HalvexError, match="^PCI_DisablePoEPort failed"):
        hx.Poe(card=0).disable(1)  # no expansion card on this board


def test_failures_name_the_export():
    cases = [(lambda: hx.Adc().read(0), "ADC_GetData"), (lambda: hx.Watchdog().set(10, 2), "SetWDT")]
    for call, export in cases:
        with pytest.raises(hx.HalvexError) as error:
            call()
        assert error.value.operation == export and str(error.value) == export + " failed"


def test_watchdog_runs_inside_the_context(shared_machine):
    with hx.Watchdog(seconds=30) as wd:
        wd.kick()
        assert "watchdog counting in seconds" in halvexctl("wdt", "status")
    assert "watchdog stopped" in halvexctl("wdt", "status")


def test_dio_and_input_events_against_the_connector(shared_machine):
    dio = hx.Dio()
    dio.write_port(0b101, checked=True)
    assert "outputs: 0=1 1=0 2=1 3=0" in halvexctl("board", "di")
    with hx.DiEvents(lines=0b100, edges="rising") as events:
        halvexctl("board", "di", "2=1")
        assert events.get(timeout=2)[:2] == (0b100, 0b100)
    assert (dio.read_line(2), dio.read_port()) == (True, 0b100)


@pytest.mark.model("Trelo-05")
def test_adc_reads_the_inputs_volts():
    adc = hx.Adc()
    adc.stop(0), adc.start(0)
    assert adc.read(0) == 0.0 and adc.read(4) > 1e6  # at rest; channel 4 is not wired
    with pytest.raises(hx.HalvexError, match="^StopWDT failed$"):
        hx.Watchdog().stop()  # this board's watchdog refuses a stop before any start


@pytest.mark.model("Trelo-05")
def test_adc_follows_the_board(shared_machine):
    halvexctl("board", "adc", "1", "12.5")
    assert 12.5 - 33.0 / 3723 <= hx.Adc().read(1) <= 12.5
