"""The client against qd7310-ctl session ($QD7310_CTL or PATH) on the simulated board, against
programs that misbehave, and once against a board emulated by umockdev when the environment
names qd7310-usbboard and its preload library."""
from __future__ import annotations

import csv
import io
import os
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import qd7310

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
from current_sweep import sweep  # noqa: E402


@pytest.fixture
def session():
    with qd7310.Session(simulated=True) as s:
        yield s


def executable(path: Path, text: str) -> Path:
    path.write_text(text)
    path.chmod(0o755)
    return path


def test_greeting_commands_and_lasting_settings(session):
    assert session.greeting["program"] == "qd7310-ctl" and session.greeting["protocol"] == 1
    session.spi_write(15, 20)
    assert session.run("spi-read 0xf") == {
        "command": "spi-read", "reg": 15, "value": 20, "result": "ok", "request": 2, "ok": True}
    assert session.prepare()["sent"] == 27
    assert session.settings(current=0)["current"] != session.settings(current=7)["current"]
    assert session.settings()["current"] == session.change_current()["current"]
    assert session.train(3, on3=5)["pulses"] == 3
    assert session.run_once(1)["ok"] and session.run_once(1, "off")["line"] == "off"
    assert session.wait(1)["ms"] == 1
    assert [b["location"] for b in session.list_boards()] == ["sim-1"]


@pytest.mark.parametrize("options, request_line, error, code", [
    ({"simulated": True}, "spi-read 32", qd7310.UsageError, 64),
    ({"simulated": True}, "i2c-read 0x7f 0", qd7310.BoardFailed, 2),  # no such device
    ({"board": "nowhere"}, "status", qd7310.BoardNotFound, 1),
])
def test_a_failed_request_raises_by_its_exit_code(options, request_line, error, code):
    with qd7310.Session(**options) as s:
        with pytest.raises(error) as raised:
            s.run(request_line)
        assert raised.value.reply["exit"] == code and raised.value.reply["error"]
        assert raised.value.request == request_line
        assert s.settings()["ok"]  # the session goes on


@pytest.mark.parametrize("call", [
    lambda s: s.train(1, on1="3 --current 7"),
    lambda s: s.run("spi-read 3\nreset"),
    lambda s: s.run("quit"),
])
def test_nothing_but_one_request_is_sent(session, call):
    with pytest.raises(ValueError):
        call(session)
    assert session.spi_read(3)["request"] == 1


def test_threads_sharing_a_session_each_get_their_own_replies(session):
    got = {}
    threads = [threading.Thread(target=lambda r=reg: got.update(
        {r: {session.spi_read(r)["reg"] for _ in range(200)}})) for reg in range(4)]
    [t.start() for t in threads]
    [t.join() for t in threads]
    assert got == {r: {r} for r in range(4)}


GREETING = 'print(\'{"program": "qd7310-ctl", "protocol": 1, "version": "0"}\', flush=True)\n'


@pytest.mark.parametrize("script, message", [
    ("import sys\nsys.exit('qd7310-ctl: cannot start here')", "cannot start here"),
    ('print(\'{"program": "qd7310-ctl", "protocol": 2}\', flush=True)', "protocol 1"),
    (GREETING + "import sys\ninput()\nsys.exit('qd7310-ctl: lost it')", "lost it"),
    (GREETING + "import time\ntime.sleep(60)", "no reply"),
])
def test_a_program_that_fails_raises_error_at_once(tmp_path, script, message):
    program = executable(tmp_path / "qd7310-ctl", "#!%s\n%s\n" % (sys.executable, script))
    with pytest.raises(qd7310.Error, match=message):
        with qd7310.Session(program=program, timeout=1) as s:
            s.status()


@pytest.mark.parametrize("example, args, files", [
    ("current_sweep.py", ["sweep.csv"], ["sweep.csv"]),
    ("two_boards.py", ["left", "right"], ["sweep-left.csv", "sweep-right.csv"]),
])
def test_examples_sweep_simulated_boards(tmp_path, example, args, files):
    subprocess.run([sys.executable, str(EXAMPLES / example), "--simulated"] + args,
                   cwd=tmp_path, check=True, timeout=60)
    for name in files:
        with open(tmp_path / name, newline="") as f:
            rows = list(csv.DictReader(f))
        assert [row["current"] for row in rows] == [str(c) for c in range(8)]
        assert len({row["label"] for row in rows}) == 8


@pytest.mark.skipif("QD7310_USBBOARD" not in os.environ,
                    reason="needs QD7310_USBBOARD and QD7310_UMOCKDEV_PRELOAD")
def test_emulated_board_sweep(tmp_path):
    # Only qd7310-ctl runs on the emulated bus; the test's own process stays as it is.
    program = executable(tmp_path / "qd7310-ctl", '#!/bin/sh\nLD_PRELOAD="%s" exec "%s" "%s" "$@"\n'
                         % (os.environ["QD7310_UMOCKDEV_PRELOAD"], os.environ["QD7310_USBBOARD"],
                            os.environ["QD7310_CTL"]))
    boards = qd7310.list_boards(program=program)
    assert [(b["openable"], b["answers"]) for b in boards] == [(1, 1)]
    with qd7310.Session(boards[0]["location"], program=program) as s:
        rows = io.StringIO()
        sweep(s, csv.writer(rows))
        assert s.status()["answers"] == 1
    assert len(rows.getvalue().splitlines()) == 9
