from __future__ import annotations

import collections
import json
import os
import queue
import shutil
import subprocess
import threading
from typing import IO, Any, Deque, Dict, List, Optional, Sequence, Union, cast

from ._errors import BY_EXIT_CODE, Error, Reply

Word = Union[int, str]
PathLike = Union[str, "os.PathLike[str]"]

PROTOCOL = 1

# Seconds a request may take besides any wait it asks for. The link gives up on a write after
# 1 s, so this leaves room for a search, a probe and several writes that time out.
DEFAULT_TIMEOUT = 10.0

# Requests that send many reports to the board get 1 s more for each, as each one may run into
# the link's write time-out: the preparation's 27, and the trains' and follow modes' register
# copies (a train of three pulses is the longest).
_REPORTS = {"prepare": 27, "train": 16, "follow": 6, "change-current": 4}

# What stays of qd7310-ctl's standard error, for the message when it ends unasked.
_STDERR_LINES = 50




def _find_program(program: Optional[PathLike]) -> str:
    if program is not None:
        return os.fspath(program)
    found = os.environ.get("QD7310_CTL") or shutil.which("qd7310-ctl")
    if not found:
        raise Error("qd7310-ctl not found: put it on PATH, set QD7310_CTL to it, "
                    "or pass program=")
    return found


def _word(value: Word) -> str:
    text = str(value)
    # One request is one line of blank-separated words; anything else would smuggle in more.
    if not text or any(c.isspace() for c in text):
        raise ValueError("qd7310: an argument must be one word, not %r" % (value,))
    return text


def _milliseconds(word: str) -> int:
    try:
        return int(word[2:], 16) if word.lower().startswith("0x") else int(word, 10)
    except ValueError:
        return 0  # the tool refuses it at once


def _line_of(reply: Reply) -> int:
    line = reply.get("request")
    return line if isinstance(line, int) else -1


def _request_line(command: str, args: Sequence[Word], settings: Dict[str, Word]) -> str:
    words = [command] + [_word(a) for a in args]
    for name, value in settings.items():
        words += ["--" + _word(name), _word(value)]
    return " ".join(words)


class Session:
    """One ``qd7310-ctl session``: requests go in one at a time, each waits for its reply.

    ``board`` is a location as :meth:`list_boards` gives it (without it, the first board
    found); ``simulated`` uses the simulated board; ``trace`` names a file for the link's
    trace. ``program`` is the path of ``qd7310-ctl``; without it ``$QD7310_CTL``, else
    ``qd7310-ctl`` from ``PATH``. ``timeout`` bounds each request (see :meth:`run`).

    Every method sends one request and returns its reply as a dict, or raises
    :class:`BoardNotFound`, :class:`BoardFailed` or :class:`UsageError` for a failed one; the
    session goes on after those. It ends, raising :class:`Error`, when ``qd7310-ctl`` dies or
    does not reply in time. Positional arguments are the command's arguments; keyword
    arguments are settings (``current=3``, ``on1=3``), kept like slider positions.

    A session may be shared between threads (requests take turns), but one session per
    thread, each with its own board, is the model.
    """

    def __init__(self, board: Optional[str] = None, *, simulated: bool = False,
                 program: Optional[PathLike] = None, trace: Optional[PathLike] = None,
                 timeout: float = DEFAULT_TIMEOUT) -> None:
        self.timeout = timeout
        self.greeting: Reply = {}
        self._lock = threading.Lock()
        self._line = 0  # the tool counts input lines; the client sends no blank ones
        self._ended: Optional[str] = None  # why requests can no longer be sent
        self._replies: "queue.SimpleQueue[Optional[bytes]]" = queue.SimpleQueue()
        self._stderr: Deque[str] = collections.deque(maxlen=_STDERR_LINES)

        command = [_find_program(program), "session"]
        if simulated:
            command.append("--simulated")
        if board is not None:
            command += ["--board", board]  # an argument of its own: a blank does no harm
        if trace is not None:
            command += ["--trace", os.fspath(trace)]
        try:
            self._process = subprocess.Popen(
                command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                creationflags=getattr(subprocess, "CREATE_NO_WINDOW", 0))
        except OSError as e:
            raise Error("cannot start %s: %s" % (command[0], e)) from e
        # Opened as pipes, so none of them is None.
        self._stdin = cast(IO[bytes], self._process.stdin)
        self._stdout_reader = self._start_reader(self._process.stdout, self._read_stdout)
        self._stderr_reader = self._start_reader(self._process.stderr, self._read_stderr)

        try:
            greeting = self._receive(self.timeout, "the greeting")
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

        Sends ``quit`` and waits a few seconds for ``qd7310-ctl`` to end, then kills it;
        raises :class:`Error` when it did not end by itself with status 0. Closing twice, or
        after the session has ended, does nothing.
        """
        with self._lock:
            if self._ended is not None:
                return
            self._send("quit")
            self._end("the session was closed")
        code = self._process.returncode
        if code != 0:
            raise Error("qd7310-ctl did not end its session cleanly (exit %d)%s"
                        % (code, ": " + "\n".join(self._stderr) if self._stderr else ""))

    def run(self, request: str) -> Reply:
        """Send one request line, as a script line of ``qd7310-ctl``; return its reply.

        For example ``run("train 1 --on1 3")``. The reply must come within ``timeout``
        seconds, plus 1 s per report for the requests that send many (``prepare``,
        ``train``, ``follow``, ``change-current``), plus the milliseconds of a ``wait``;
        otherwise ``qd7310-ctl`` is killed and :class:`Error` raised.
        """
        words = request.split()
        if not words or words[0].startswith("#"):
            raise ValueError("qd7310: a blank line or comment gets no reply: %r" % (request,))
        if request.splitlines() != [request]:
            raise ValueError("qd7310: a request is one line, not %r" % (request,))
        if words[0] == "quit":
            raise ValueError("qd7310: end the session with close()")
        timeout = self.timeout + _REPORTS.get(words[0], 0)
        if words[0] == "wait" and len(words) > 1:
            timeout += _milliseconds(words[1]) / 1000.0

        with self._lock:
            if self._ended is not None:
                raise Error("qd7310-ctl session has ended: " + self._ended, request=request)
            self._line += 1
            self._send(request)
            try:
                reply = self._receive(timeout, repr(request))
                # The reply of a request given up on (by Ctrl-C, say) comes before this one's.
                while 0 < _line_of(reply) < self._line:
                    reply = self._receive(timeout, repr(request))
            except Error as e:
                e.request = request
                self._end(str(e))
                raise
            if _line_of(reply) != self._line:
                message = ("reply to line %s where line %d was due: %s"
                           % (reply.get("request"), self._line, json.dumps(reply)))
                self._end(message)
                raise Error(message, reply, request)
        if not reply.get("ok"):
            code = reply.get("exit")
            error = BY_EXIT_CODE.get(code, Error) if isinstance(code, int) else Error
            raise error(str(reply.get("error", "failed")), reply, request)
        return reply

    def command(self, name: str, *args: Word, **settings: Word) -> Reply:
        """Send the command ``name`` with its arguments and settings; return its reply.

        Arguments and settings must each be one word; :class:`ValueError` otherwise.
        """
        return self.run(_request_line(name, args, settings))

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

    def _send(self, line: str) -> None:
        try:
            self._stdin.write(line.encode("utf-8") + b"\n")
            self._stdin.flush()
        except OSError:
            pass  # it has ended; the reply's reader says how

    def _start_reader(self, stream: Optional[IO[bytes]], target: Any) -> threading.Thread:
        thread = threading.Thread(target=target, args=(stream,), daemon=True,
                                  name="qd7310-ctl %d" % self._process.pid)
        thread.start()
        return thread

    def _read_stdout(self, stream: IO[bytes]) -> None:
        for line in iter(stream.readline, b""):
            self._replies.put(line)
        self._replies.put(None)

    def _read_stderr(self, stream: IO[bytes]) -> None:
        for line in iter(stream.readline, b""):
            self._stderr.append(line.decode("utf-8", "replace").rstrip()[:1000])

    def _receive(self, timeout: float, what: str) -> Reply:
        try:
            line = self._replies.get(timeout=timeout)
        except queue.Empty:
            self._process.kill()
            raise Error("qd7310-ctl gave no reply to %s within %g s, so it was stopped%s"
                        % (what, timeout, self._exit_text())) from None
        if line is None:
            raise Error("qd7310-ctl ended before %s%s" % (what, self._exit_text()))
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
            code = self._process.wait(5)
        except subprocess.TimeoutExpired:
            return ""
        self._stderr_reader.join(1)
        text = " (exit %d)" % code
        if self._stderr:
            text += ": " + "\n".join(self._stderr)
        return text

    def _end(self, why: str) -> None:
        if self._ended is not None:
            return
        self._ended = why
        try:
            self._stdin.close()
        except OSError:
            pass
        try:
            self._process.wait(5)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        # A stream is closed only once its reader is done with it: closing it under a blocked
        # read would wait for the read.
        for reader, stream in ((self._stdout_reader, self._process.stdout),
                               (self._stderr_reader, self._process.stderr)):
            reader.join(1)
            if stream and not reader.is_alive():
                stream.close()


def list_boards(*, simulated: bool = False, program: Optional[PathLike] = None) -> List[Reply]:
    """The boards present, as :meth:`Session.list_boards` gives them, from a session of its
    own."""
    with Session(simulated=simulated, program=program) as session:
        return session.list_boards()

