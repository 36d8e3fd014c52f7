"""Finding qd7310-ctl, starting it, reading it, and ending it when nobody else will."""
from __future__ import annotations

import contextlib
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import warnings
from typing import IO, Any, Deque, Iterator, List, Optional

from ._errors import ProgramEnded
from ._request import PathLike

# Where the Windows installer records its folder, under HKEY_CURRENT_USER or
# HKEY_LOCAL_MACHINE: "Software\<vendor>\<registry key>" of packaging/windows/windows.cmake.
_WINDOWS_INSTALL_KEY = r"Software\Brelvan\qd7310-eval"
_POSIX_INSTALLED = "/usr/bin/qd7310-ctl"


def _windows_installed() -> Optional[str]:
    import winreg  # noqa: PLC0415 (Windows only)

    # The installer is 64-bit and writes the 64-bit registry, whichever Python asks.
    access = winreg.KEY_READ | getattr(winreg, "KEY_WOW64_64KEY", 0)
    for root in (winreg.HKEY_CURRENT_USER, winreg.HKEY_LOCAL_MACHINE):
        try:
            with winreg.OpenKey(root, _WINDOWS_INSTALL_KEY, 0, access) as key:
                folder = str(winreg.QueryValueEx(key, "")[0])
        except OSError:
            continue
        program = os.path.join(folder, "qd7310-ctl.exe")
        if os.path.isfile(program):
            return program
    return None


def installed_program() -> Optional[str]:
    """The qd7310-ctl that the tool's package installed, if any."""
    if sys.platform == "win32":
        return _windows_installed()
    return _POSIX_INSTALLED if os.access(_POSIX_INSTALLED, os.X_OK) else None


def find_program(program: Optional[PathLike]) -> str:
    """``program``, else $QD7310_CTL, else qd7310-ctl on PATH, else the installed one."""
    if program is not None:
        return os.fspath(program)
    found = (os.environ.get("QD7310_CTL") or shutil.which("qd7310-ctl")
             or installed_program())
    if not found:
        raise ProgramEnded("qd7310-ctl not found: install the tool, put qd7310-ctl on PATH, "
                           "set QD7310_CTL to it, or pass program=")
    return found


def start(command: List[str]) -> "subprocess.Popen[bytes]":
    """qd7310-ctl with pipes, in a process group of its own: Ctrl-C at the terminal interrupts
    the Python program, not qd7310-ctl, so the session outlives a KeyboardInterrupt."""
    if sys.platform == "win32":
        flags = subprocess.CREATE_NEW_PROCESS_GROUP | subprocess.CREATE_NO_WINDOW
        return subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, creationflags=flags)
    return subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True)


@contextlib.contextmanager
def ctrl_c_held_off() -> Iterator[None]:
    """Ctrl-C waits for the end of the block, so that a request line goes out whole and is
    counted, or neither. Only the main thread is interrupted, so only it needs this."""
    if (threading.current_thread() is not threading.main_thread()
            or not callable(signal.getsignal(signal.SIGINT))):
        yield
        return
    caught: List[Any] = []
    previous = signal.signal(signal.SIGINT, lambda *frame: caught.append(frame))
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
        if caught and callable(previous):
            previous(*caught[0])


# The readers hold their stream and their queue but never the session, so that a session that
# nobody holds any more can be collected (and its program ended) while they run.

def pump_replies(stream: IO[bytes], replies: "queue.SimpleQueue[Optional[bytes]]") -> None:
    with stream:
        for line in iter(stream.readline, b""):
            replies.put(line)
    replies.put(None)


def keep_stderr(stream: IO[bytes], lines: Deque[str]) -> None:
    with stream:
        for line in iter(stream.readline, b""):
            lines.append(line.decode("utf-8", "replace").rstrip()[:1000])


def start_reader(name: str, target: object, *args: object) -> threading.Thread:
    thread = threading.Thread(target=target, args=args, daemon=True,  # type: ignore[arg-type]
                              name=name)
    thread.start()
    return thread


def end(process: "subprocess.Popen[bytes]", readers: List[threading.Thread],
        grace: Optional[float]) -> None:
    """Ends the program: end of input first, so it finishes its command and leaves, then a kill
    after ``grace`` seconds (None: no limit); waits for it and its readers, so nothing is left
    running."""
    try:
        if process.stdin:
            process.stdin.close()
    except OSError:
        pass
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    for reader in readers:
        if reader is not threading.current_thread():
            reader.join(1)


def abandon(process: "subprocess.Popen[bytes]", readers: List[threading.Thread],
            name: str) -> None:
    """What a session that was never closed does when it is collected (or Python exits)."""
    warnings.warn("unclosed %s: its qd7310-ctl (pid %d) is ended" % (name, process.pid),
                  ResourceWarning, stacklevel=2)
    end(process, readers, 1.0)
