#!/usr/bin/env python3
"""Time per command through one qd7310-ctl session driven from Python, against the pipe's own
floor (a line echoed through cat, in the same loop shape) and against a qd7310-ctl process per
command, all on the simulated board; then a soak of one session, with its memory and open files
at the start and the end. Prints figures and never fails.

    python3 bench/bench_session.py [--program PATH] [--commands N] [--processes N] [--soak N]

Without --program, qd7310-ctl is $QD7310_CTL or the one on PATH; a Release build gives the
figures worth quoting. The goal: at most 50 us per command, the client's own time included,
and at least 50 times less than a process per command.
"""
from __future__ import annotations

import argparse
import os
import queue
import shutil
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import IO, List, Tuple

try:
    import qd7310
except ImportError:  # run from the source tree
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import qd7310

COMMAND = ["spi-read", "3"]


def proc_figures(pid: int) -> str:
    """VmRSS and the number of open descriptors of a process, where /proc has them."""
    try:
        status = Path("/proc/%d/status" % pid).read_text()
        rss = next(line.split(":", 1)[1].strip() for line in status.splitlines()
                   if line.startswith("VmRSS:"))
        fds = len(os.listdir("/proc/%d/fd" % pid))
    except (OSError, StopIteration):
        return "n/a (no /proc)"
    return "VmRSS %s, %d open fds" % (rss, fds)


def cpu_seconds(pid: int) -> float:
    """User and system time of a process so far, where /proc has it; 0 elsewhere."""
    try:
        fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def per_session(program: str, count: int) -> Tuple[float, float, float]:
    """Seconds per command: elapsed, the client's processor time, qd7310-ctl's processor time.
    What the elapsed time has beyond the two is the wait for each side to be woken."""
    with qd7310.Session(simulated=True, program=program) as session:
        for _ in range(100):  # the search, and a warm pipe
            session.spi_read(3)
        start, client, server = time.perf_counter(), time.process_time(), cpu_seconds(session.pid)
        for _ in range(count):
            session.spi_read(3)
        return ((time.perf_counter() - start) / count, (time.process_time() - client) / count,
                (cpu_seconds(session.pid) - server) / count)


def per_echo(count: int) -> float:
    """Seconds per line echoed through cat, in the client's loop shape: write and flush a line,
    a reader thread puts the line it reads back into a queue, the caller waits on the queue.
    What the session costs beyond this is the client's and qd7310-ctl's own work."""
    cat = subprocess.Popen([shutil.which("cat") or "cat"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE)
    assert cat.stdin is not None and cat.stdout is not None
    lines: "queue.SimpleQueue[bytes]" = queue.SimpleQueue()

    def read(stream: IO[bytes]) -> None:
        for echoed in iter(stream.readline, b""):
            lines.put(echoed)

    threading.Thread(target=read, args=(cat.stdout,), daemon=True).start()
    line = (" ".join(COMMAND) + "\n").encode()

    def echo() -> None:
        cat.stdin.write(line)
        cat.stdin.flush()
        lines.get(timeout=10)

    try:
        for _ in range(100):  # a warm pipe, as in the session
            echo()
        start = time.perf_counter()
        for _ in range(count):
            echo()
        return (time.perf_counter() - start) / count
    finally:
        cat.stdin.close()
        cat.wait()


def per_process(program: str, count: int) -> float:
    seconds: List[float] = []
    for _ in range(count):
        start = time.perf_counter()
        subprocess.run([program, "--simulated"] + COMMAND, stdout=subprocess.DEVNULL, check=False)
        seconds.append(time.perf_counter() - start)
    return statistics.median(seconds)


def soak(program: str, count: int) -> None:
    with qd7310.Session(simulated=True, program=program) as session:
        session.spi_read(3)
        print("soak      start: qd7310-ctl %s; Python %s"
              % (proc_figures(session.pid), proc_figures(os.getpid())))
        start = time.perf_counter()
        for i in range(count):
            session.spi_read(3)
            if (i + 1) % (count // 10 or 1) == 0:
                print("soak      %9d commands, %6.1f s" % (i + 1, time.perf_counter() - start),
                      flush=True)
        print("soak      end:   qd7310-ctl %s; Python %s"
              % (proc_figures(session.pid), proc_figures(os.getpid())))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", help="the qd7310-ctl to measure")
    parser.add_argument("--commands", type=int, default=20000, help="commands in the session")
    parser.add_argument("--processes", type=int, default=200, help="processes, one command each")
    parser.add_argument("--soak", type=int, default=1000000, help="commands in the soak")
    args = parser.parse_args()
    program = args.program or os.environ.get("QD7310_CTL") or "qd7310-ctl"
    command = " ".join(COMMAND)

    try:
        session_s, client_s, server_s = per_session(program, args.commands)
        print("session   %-14s %9.1f us per command, mean over %d (goal: at most 50 us)"
              % (command, session_s * 1e6, args.commands))
        print("          processor time per command: Python %.1f us, qd7310-ctl %.1f us"
              % (client_s * 1e6, server_s * 1e6), flush=True)
        echo_s = per_echo(args.commands)
        print("pipe      echo through cat %7.1f us per line, mean over %d"
              % (echo_s * 1e6, args.commands))
        print("session is %.1f times the pipe's own floor" % (session_s / echo_s), flush=True)
        process_s = per_process(program, args.processes)
        print("process   %-14s %9.1f us per command, median over %d runs"
              % (command, process_s * 1e6, args.processes), flush=True)
        print("session is %.0f times faster than a process per command (goal: at least 50)"
              % (process_s / session_s), flush=True)
        if args.soak:
            soak(program, args.soak)
    except (qd7310.Error, OSError) as e:
        print("bench_session: %s" % e, file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
