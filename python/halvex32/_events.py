"""Callbacks from the library's receive threads, turned into Python callables or queues.

The library keeps one callback pointer per kind of event for the whole
process. Each kind gets one C callback here, created once and kept for the
life of the process (the library may call it until it is unregistered), which
copies the event out of the library's record and hands it to every subscribed
object. No Python exception ever returns into the library's thread.
"""
import atexit
import logging
import queue
import threading

from . import _lib

log = logging.getLogger("halvex32")


def guarded(handler, what):
    """`handler` wrapped so that an exception is logged instead of leaving it."""
    def call(event):
        try:
            handler(event)
        except BaseException:  # the caller is a library thread: nothing may escape
            try:
                log.exception("exception in the %s handler %r", what, handler)
            except BaseException:
                pass
    return call


class EventQueue:
    """A bounded queue that a receive thread fills and the application drains.

    When it is full, new events are dropped and counted in `overruns`, so a
    slow reader never blocks the library's receive thread.
    """

    def __init__(self, size):
        self._queue = queue.Queue(size)
        self.overruns = 0

    def put(self, event):
        try:
            self._queue.put_nowait(event)
        except queue.Full:
            self.overruns += 1

    def get(self, timeout=None):
        """The next event, or None when none came within `timeout` seconds (None: wait for ever)."""
        try:
            return self._queue.get(timeout=timeout)
        except queue.Empty:
            return None

    def iterate(self, timeout=None):
        """Events as they come; ends once none came for `timeout` seconds (None: never)."""
        while True:
            event = self.get(timeout)
            if event is None:
                return
            yield event


class EventSource:
    """One callback cell of the library, fanned out to the subscribed sinks."""

    _all = []

    def __init__(self, name, prototype, register, convert):
        self.name = name
        self._register = register
        self._convert = convert
        self._callback = prototype(self._dispatch)  # kept: the library holds only its address
        self._null = prototype()  # a null pointer empties the library's cell
        self._sinks = []
        self._lock = threading.Lock()
        self._registered = False
        EventSource._all.append(self)

    def _dispatch(self, *arguments):
        try:
            event = self._convert(*arguments)  # the record is valid only during this call
            for sink in tuple(self._sinks):
                sink(event)
        except BaseException:
            try:
                log.exception("exception while dispatching a %s event", self.name)
            except BaseException:
                pass

    def subscribe(self, sink):
        with self._lock:
            if not self._registered:
                self._register(self._callback)
                self._registered = True
            self._sinks.append(sink)

    def unsubscribe(self, sink):
        with self._lock:
            if sink in self._sinks:
                self._sinks.remove(sink)
            if not self._sinks and self._registered:
                self._register(self._null)
                self._registered = False

    def clear(self):
        with self._lock:
            self._sinks.clear()
            if self._registered:
                self._register(self._null)
                self._registered = False


class Subscriber:
    """An object's share of an event source: its callable, or else its queue."""

    def __init__(self, source, callback, queue_size):
        self.source = source
        self.queue = EventQueue(queue_size)
        self._sink = guarded(callback, source.name) if callback else self.queue.put
        source.subscribe(self._sink)

    def close(self):
        self.source.unsubscribe(self._sink)


@atexit.register
def _unregister_all():
    """Empties the library's callback cells before the interpreter goes away:
    the receive threads keep running until the library unloads, after Python."""
    for source in EventSource._all:
        try:
            source.clear()
        except Exception:
            pass
