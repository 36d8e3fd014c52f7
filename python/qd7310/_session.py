from __future__ import annotations

import collections
import json
import os
import queue
import subprocess
import threading
import time
import weakref
from typing import IO, Any, Deque, List, Optional, Tuple, cast

from ._errors import Error, ProgramEnded, Reply, Timeout, failure
from ._program import (
    abandon, ctrl_c_held_off, end, find_program, keep_stderr, pump_replies, start, start_reader)
from ._request import (
    DEFAULT_TIMEOUT, NO_BOARD, PathLike, Word, budget, check_text, quoted_path, request_line)

PROTOCOL = 1

# What stays of qd7310-ctl's standard error, for the message when it ends unasked.
_STDERR_LINES = 50

# Seconds that qd7310-ctl has to end by itself once its input has ended.
_GRACE = 5.0

# The timeout= of a call that gives none: the session's.
SESSION_TIMEOUT: Any = object()


def _line_of(reply: Reply) -> int:
    line = reply.get("request")
    return line if isinstance(line, int) else -1


class Session:
    """One ``qd7310-ctl session``: requests go in one at a time, each waits for its reply.

    ``board`` is a location as :meth:`list_boards` gives it (without it, the first board
    found); ``simulated`` uses the simulated board; ``trace`` names a file for the link's
    trace; ``setup`` a setup file for the starting settings. ``program`` is the path of
    ``qd7310-ctl``; without it ``$QD7310_CTL``, else ``qd7310-ctl`` from ``PATH``, else the
    installed one. ``timeout`` bounds each request (see :meth:`run`); None means no limit.

    Every method sends one request and returns its reply as a dict, or raises
    :class:`BoardNotFound`, :class:`BoardFailed` or :class:`UsageError` for a failed one; the
    session goes on after those. It ends, raising :class:`Timeout`, when ``qd7310-ctl`` does
    not reply in time, or :class:`ProgramEnded` when it ends. Positional arguments are the
    command's arguments; keyword arguments are settings (``current=3``, ``on1=3``), kept like
    slider positions, except ``timeout=``, which bounds that one call instead of the session's.

    A ``KeyboardInterrupt`` leaves the session usable: the next call skips the interrupted
    request's reply. A session that is never closed ends its program when it is collected,
    with a ``ResourceWarning``. A session may be shared between threads (requests take turns),
    but one session per thread, each with its own board, is the model.
    """

    def __init__(self, board: Optional[str] = None, *, simulated: bool = False,
                 program: Optional[PathLike] = None, trace: Optional[PathLike] = None,
                 setup: Optional[PathLike] = None,
                 timeout: Optional[float] = DEFAULT_TIMEOUT) -> None:
        self.timeout = timeout
        self.greeting: Reply = {}
        self._board = None if board is None else check_text(board, "the board location")
        self._simulated = simulated
        self._lock = threading.Lock()
        self._line = 0  # the tool counts input lines; the client sends no blank ones
        # Sent and not yet answered, oldest first: line, deadline (or None), command.
        self._pending: Deque[Tuple[int, Optional[float], str]] = collections.deque()
        self._ended: Optional[str] = None  # why requests can no longer be sent
        self._closing = False  # close() killed it under a running command
        self._replies: "queue.SimpleQueue[Optional[bytes]]" = queue.SimpleQueue()
        self._stderr: Deque[str] = collections.deque(maxlen=_STDERR_LINES)

        self._program = find_program(program)
        command = [self._program, "session"]
        if simulated:
            command.append("--simulated")
        if board is not None:
            command += ["--board", board]  # an argument of its own: a blank does no harm
        if trace is not None:
            command += ["--trace", os.fspath(trace)]
        if setup is not None:
            command += ["--setup", os.fspath(setup)]
        try:
            self._process = start(command)
        except OSError as e:
            raise ProgramEnded("cannot start %s: %s" % (command[0], e)) from e
        # Opened as pipes, so none of them is None.
        self._stdin = cast(IO[bytes], self._process.stdin)
        name = "qd7310-ctl %d" % self._process.pid
        self._readers = [start_reader(name, pump_replies, self._process.stdout, self._replies),
                         start_reader(name, keep_stderr, self._process.stderr, self._stderr)]
        self._finalizer = weakref.finalize(self, abandon, self._process, self._readers,
                                           "qd7310.Session of %r" % self._program)
        try:
            deadline = None if timeout is None else time.monotonic() + timeout
            greeting = self._receive(deadline, "the greeting")
            if greeting.get("program") != "qd7310-ctl" or greeting.get("protocol") != PROTOCOL:
                raise Error("%s does not greet as qd7310-ctl speaking protocol %d: %s"
                            % (command[0], PROTOCOL, json.dumps(greeting)))
        except BaseException:
            self._process.kill()
            self._end("it did not start")
            raise
        self.greeting = greeting

    @property
    def version(self) -> str:
        """The version of ``qd7310-ctl``, from its greeting."""
        return str(self.greeting.get("version", ""))

    @property
    def pid(self) -> int:
        """The process ID of ``qd7310-ctl``."""
        return self._process.pid

    @property
    def closed(self) -> bool:
        """True once the session has ended: closed, or its program ended or was stopped."""
        return self._ended is not None

    def __repr__(self) -> str:
        board = ("the simulated board" if self._simulated else
                 "the first board found" if self._board is None else "board %r" % self._board)
        return "<qd7310.Session of %r on %s, %s>" % (
            self._program, board, "closed" if self.closed else "open")

    def __enter__(self) -> Session:
        return self

    def __exit__(self, exc_type: Optional[type], *exc_info: object) -> None:
        try:
            self.close()
        except Error:
            if exc_type is None:
                raise  # otherwise the exception on its way out says more

    def close(self) -> None:
        """End the session: nothing is sent to the board, the chip keeps its state.

        Sends ``quit`` and waits for ``qd7310-ctl`` to finish what it is doing and end, and
        raises :class:`ProgramEnded` when it did not end by itself with status 0. Called from
        another thread while a command runs, it ends ``qd7310-ctl`` at once, and that command
        raises :class:`ProgramEnded`; so does an interrupted ``wait`` that still runs. Closing
        twice, or after the session has ended, does nothing.
        """
        if not self._lock.acquire(blocking=False):
            self._closing = True
            self._process.kill()
            self._lock.acquire()
        try:
            if self._ended is not None:
                return
            grace: Optional[float] = _GRACE
            if self._pending and all(c in NO_BOARD for _, _, c in self._pending):
                self._closing = True  # nothing it still does reaches the board
                self._process.kill()
            elif self._pending:  # interrupted: it may take as long as it was given
                deadline = self._pending[-1][1]
                grace = None if deadline is None else max(deadline - time.monotonic(), _GRACE)
            self._write(b"quit\n")
            self._end("the session was closed", grace)
        finally:
            self._lock.release()
        code = self._process.returncode
        if code != 0 and not self._closing:
            raise ProgramEnded("qd7310-ctl did not end its session cleanly (exit %d)%s"
                               % (code, ": " + "\n".join(self._stderr) if self._stderr else ""),
                               exit_code=code)

    def run(self, request: str, *, timeout: Any = SESSION_TIMEOUT) -> Reply:
        """Send one request line, as a script line of ``qd7310-ctl``; return its reply.

        For example ``run("train 1 --on1 3")``. The reply must come within ``timeout``
        seconds (the session's, unless given here; None: no limit), plus 1 s per report for
        the requests that send many (``prepare``, ``train``, ``follow``, ``change-current``),
        plus the milliseconds of a ``wait``; otherwise ``qd7310-ctl`` is stopped and
        :class:`Timeout` raised. A control character anywhere raises :class:`ValueError`
        before anything is sent.
        """
        check_text(request, "a request")
        words = request.split()
        if not words or words[0].startswith("#"):
            raise ValueError("qd7310: a blank line or comment gets no reply: %r" % (request,))
        if words[0] == "quit":
            raise ValueError("qd7310: end the session with close()")
        seconds = budget(words, self.timeout if timeout is SESSION_TIMEOUT else timeout)
        data = request.encode("utf-8") + b"\n"

        with self._lock:
            if self._ended is not None:
                raise ProgramEnded("qd7310-ctl session has ended: " + self._ended,
                                   request=request)
            try:
                with ctrl_c_held_off():
                    line = self._send(data, seconds, words[0])
                reply = self._reply_to(line, repr(request))
            except Error as e:
                e.request = request
                self._end(str(e))
                raise
        if not reply.get("ok"):
            raise failure(reply, request)
        return reply

    def command(self, name: str, *args: Word, timeout: Any = SESSION_TIMEOUT,
                **settings: Word) -> Reply:
        """Send the command ``name`` with its arguments and settings; return its reply.

        Arguments and settings must each be one word; :class:`ValueError` otherwise.
        """
        return self.run(request_line(name, args, settings), timeout=timeout)

    # One method per command of qd7310-ctl, in the order of its --help.

    def init_controller(self, **settings: Word) -> Reply:
        """Initialise the board's controller."""
        return self.command("init-controller", **settings)

    def spi_write(self, reg: Word, data: Word, **settings: Word) -> Reply:
        """Write a chip register."""
        return self.command("spi-write", reg, data, **settings)

    def spi_read(self, reg: Word, **settings: Word) -> Reply:
        """Read a chip register; the reply's ``value`` is its content."""
        return self.command("spi-read", reg, **settings)

    def i2c_write(self, dev: Word, reg: Word, data: Word, **settings: Word) -> Reply:
        """Write a register of an I2C device."""
        return self.command("i2c-write", dev, reg, data, **settings)

    def i2c_read(self, dev: Word, reg: Word, **settings: Word) -> Reply:
        """Read a register of an I2C device; the reply's ``value`` is its content."""
        return self.command("i2c-read", dev, reg, **settings)

    def measure(self, channel: Word, adc: Word, **settings: Word) -> Reply:
        """Read an ADC channel; the reply's ``value`` is the reading."""
        return self.command("measure", channel, adc, **settings)

    def pin_read(self, group: Word, pin: Word, **settings: Word) -> Reply:
        """Read a pin's level; the reply's ``value`` is 0 or 1."""
        return self.command("pin-read", group, pin, **settings)

    def pin_dir(self, group: Word, pin: Word, value: Word, **settings: Word) -> Reply:
        """Make a pin an output (value 1) or an input (0)."""
        return self.command("pin-dir", group, pin, value, **settings)

    def pin_set(self, group: Word, pin: Word, value: Word, **settings: Word) -> Reply:
        """Set a pin's output level (0 or 1)."""
        return self.command("pin-set", group, pin, value, **settings)

    def status(self, **settings: Word) -> Reply:
        """Search for the board and probe it."""
        return self.command("status", **settings)

    def prepare(self, **settings: Word) -> Reply:
        """Prepare the board's controller and pins, as the window does on finding it."""
        return self.command("prepare", **settings)

    def train(self, pulses: Word, **settings: Word) -> Reply:
        """Program a train of 1, 2 or 3 pulses."""
        return self.command("train", pulses, **settings)

    def change_current(self, **settings: Word) -> Reply:
        """Send the LED current, as set by the ``current`` setting."""
        return self.command("change-current", **settings)

    def reset(self, **settings: Word) -> Reply:
        """Reset the chip."""
        return self.command("reset", **settings)

    def follow(self, mode: Word, **settings: Word) -> Reply:
        """Start follow mode 1 or 2."""
        return self.command("follow", mode, **settings)

    def run_on(self, **settings: Word) -> Reply:
        """``run on``: hold the run line high (:meth:`run` sends a request line)."""
        return self.command("run", "on", **settings)

    def run_off(self, **settings: Word) -> Reply:
        """``run off``: hold the run line low."""
        return self.command("run", "off", **settings)

    def run_once(self, mode: Word, release: Optional[str] = None, **settings: Word) -> Reply:
        """Run the chip once in mode 1 or 2; ``run_once(1, "off")`` releases Run Once 1."""
        args = (mode,) if release is None else (mode, release)
        return self.command("run-once", *args, **settings)

    def settings(self, **settings: Word) -> Reply:
        """The labels and train totals the window would show for the settings; no board."""
        return self.command("settings", **settings)

    def wait(self, ms: Word, **settings: Word) -> Reply:
        """Pause for ``ms`` milliseconds, while a scope records; no board."""
        return self.command("wait", ms, **settings)

    def list_boards(self, **settings: Word) -> List[Reply]:
        """The boards present, in the order a search finds them, as dicts with ``location``,
        ``openable`` and ``answers`` (and ``advice`` for one that cannot be used)."""
        return list(self.command("list", **settings).get("boards", []))

    def load_setup(self, path: PathLike, *, timeout: Any = SESSION_TIMEOUT) -> Reply:
        """Make a setup file's settings the current ones."""
        return self.run("load-setup " + quoted_path(path), timeout=timeout)

    def save_setup(self, path: PathLike, *, timeout: Any = SESSION_TIMEOUT) -> Reply:
        """Write the current settings to a setup file."""
        return self.run("save-setup " + quoted_path(path), timeout=timeout)

    def export(self, fmt: str, command: str, *args: Word, **settings: Any) -> str:
        """The chip writes of a programming command for firmware, as ``fmt`` (``c``, ``csv``
        or ``json``): ``export("c", "train", 3)``. Nothing is sent to the board."""
        return str(self.command("export", fmt, command, *args, **settings)["export"])

    def _write(self, data: bytes) -> None:
        try:
            self._stdin.write(data)
            self._stdin.flush()
        except (OSError, ValueError):
            pass  # it has ended; the reply's reader says how

    def _send(self, data: bytes, seconds: Optional[float], command: str) -> int:
        self._write(data)
        self._line += 1
        # Its time starts once the requests before it are done, at the latest by their deadline.
        deadline: Optional[float] = None
        if seconds is not None:
            latest = self._pending[-1][1] if self._pending else 0.0
            if latest is not None:
                deadline = max(time.monotonic(), latest) + seconds
        self._pending.append((self._line, deadline, command))
        return self._line

    def _reply_to(self, line: int, what: str) -> Reply:
        # Replies to requests given up on (by Ctrl-C, say) come first; skip them.
        deadline = self._pending[-1][1]
        while True:
            reply = self._receive(deadline, what)
            number = _line_of(reply)
            if all(number != pending for pending, _, _ in self._pending):
                raise Error("reply to line %s where line %d was due: %s"
                            % (reply.get("request"), line, json.dumps(reply)), reply)
            while self._pending and self._pending[0][0] <= number:
                self._pending.popleft()
            if number == line:
                return reply

    def _receive(self, deadline: Optional[float], what: str) -> Reply:
        try:
            line = self._replies.get(
                timeout=None if deadline is None else max(deadline - time.monotonic(), 0.0))
        except queue.Empty:
            self._process.kill()
            raise Timeout("qd7310-ctl gave no reply to %s in time, so it was stopped%s"
                          % (what, self._exit_text())) from None
        if line is None:
            if self._closing:
                raise ProgramEnded("the session was closed during %s" % what)
            text = self._exit_text()
            raise ProgramEnded("qd7310-ctl ended before %s%s" % (what, text),
                               exit_code=self._process.returncode)
        try:
            reply = json.loads(line)
        except ValueError:
            reply = None
        if not isinstance(reply, dict):
            self._process.kill()
            raise Error("qd7310-ctl answered %s with a line that is not a JSON object: %r"
                        % (what, line))
        return reply

    def _exit_text(self) -> str:
        # Its last words on standard error are only complete once it has ended.
        try:
            code = self._process.wait(_GRACE)
        except subprocess.TimeoutExpired:
            return ""
        self._readers[1].join(1)
        text = " (exit %d)" % code
        if self._stderr:
            text += ": " + "\n".join(self._stderr)
        return text

    def _end(self, why: str, grace: Optional[float] = _GRACE) -> None:
        if self._ended is not None:
            return
        self._ended = why
        end(self._process, self._readers, grace)
        self._finalizer.detach()  # only now: an interrupted end is finished at collection


def list_boards(*, simulated: bool = False, program: Optional[PathLike] = None) -> List[Reply]:
    """The boards present, as :meth:`Session.list_boards` gives them, from a session of its
    own."""
    with Session(simulated=simulated, program=program) as session:
        return session.list_boards()
