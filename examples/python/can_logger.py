#!/usr/bin/env python3
"""Log the frames of the board's CAN bus with python-can, until a duration or a count ends.

    can_logger.py [--channel 0] [--bitrate 500000] [--duration 10] [--count N] [--csv FILE]
                  [--loopback] [--send 123#DEADBEEF ...]

Frames are printed as python-can prints them (and written to FILE as CSV).
--loopback has the controller hand back every frame it sends, and --send
sends frames (cansend syntax: 3 hex digits a standard id, 8 an extended one,
#R a remote request), so the logger shows traffic on a quiet bus or on the
virtual board (HALVEX_VIRTUAL_MODEL=Trelo-11).
"""
import argparse
import threading

import can


class Counter(can.Listener):
    """Sets `done` once `limit` frames have arrived."""

    def __init__(self, limit):
        self.seen, self.limit, self.done = 0, limit, threading.Event()

    def on_message_received(self, msg):
        self.seen += 1
        if self.limit and self.seen >= self.limit:
            self.done.set()


def parse_frame(text):
    ident, _, data = text.partition("#")
    remote = data.upper().startswith("R")
    payload = b"" if remote else bytes.fromhex(data.replace(".", ""))
    return can.Message(arbitration_id=int(ident, 16), is_extended_id=len(ident) == 8, is_remote_frame=remote,
                       data=None if remote else payload, dlc=int(data[1:] or 0) if remote else len(payload))


def main():
    parser = argparse.ArgumentParser(description="Log CAN frames of the Halvex32 CAN port")
    parser.add_argument("--channel", type=int, default=0)
    parser.add_argument("--bitrate", type=int)
    parser.add_argument("--duration", type=float, default=10.0, help="seconds (default 10)")
    parser.add_argument("--count", type=int, default=0, help="stop after this many frames")
    parser.add_argument("--csv", help="also write the frames to this CSV file")
    parser.add_argument("--loopback", action="store_true", help="the controller hands back what it sends")
    parser.add_argument("--send", action="append", default=[], metavar="ID#DATA")
    args = parser.parse_args()

    options = {"receive_own_messages": True} if args.loopback else {}
    if args.bitrate:
        options["bitrate"] = args.bitrate
    with can.Bus(interface="halvex32", channel=args.channel, **options) as bus:
        counter = Counter(args.count)
        listeners = [can.Printer(), counter] + ([can.CSVWriter(args.csv)] if args.csv else [])
        notifier = can.Notifier(bus, listeners, timeout=0.1)
        for text in args.send:
            bus.send(parse_frame(text))
        counter.done.wait(args.duration)
        notifier.stop()
        for listener in listeners:
            listener.stop()
    print("%d frames logged" % counter.seen)


if __name__ == "__main__":
    main()
