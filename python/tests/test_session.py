"""The client against qd7310-ctl session ($QD7310_CTL or PATH) on the simulated board, against
programs that misbehave, and once against a board emulated by umockdev when the environment
names qd7310-usbboard and its preload library."""
from __future__ import annotations

import csv
import gc
import io
import json
import os
import signal
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import qd7310

SOURCE = Path(__file__).resolve().parents[2]
EXAMPLES = SOURCE / "examples"
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
    lambda s: s.spi_read("3\0"),
    lambda s: s.run("status \x1b[2J"),
    lambda s: s.save_setup("a\nb.qd7310"),
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


def test_an_unclosed_session_ends_its_program_when_collected():
    s = qd7310.Session(simulated=True)
    pid, name = s.pid, "qd7310-ctl %d" % s.pid
    with pytest.warns(ResourceWarning, match="unclosed"):
        del s
        gc.collect()
    with pytest.raises(ProcessLookupError):
        os.kill(pid, 0)
    assert name not in [t.name for t in threading.enumerate()]


INTERRUPTED = """
import json, qd7310
s = qd7310.Session(simulated=True)
try:
    print("ready", flush=True)
    while True:
        s.wait(2000)
except KeyboardInterrupt:
    print(json.dumps([s.spi_read(3), s.settings()]), flush=True)
"""


@pytest.mark.skipif(sys.platform == "win32", reason="sends SIGINT to a process group")
def test_the_session_outlives_ctrl_c_during_a_wait():
    client = subprocess.Popen([sys.executable, "-c", INTERRUPTED], stdout=subprocess.PIPE,
                              text=True, start_new_session=True)
    assert client.stdout.readline() == "ready\n"
    threading.Event().wait(0.5)
    os.killpg(client.pid, signal.SIGINT)  # as Ctrl-C at a terminal does
    out, _ = client.communicate(timeout=60)
    spi_read, settings = json.loads(out)
    assert (spi_read["command"], settings["command"]) == ("spi-read", "settings")
    assert settings["request"] == spi_read["request"] + 1 and client.returncode == 0


GREETING = 'print(\'{"program": "qd7310-ctl", "protocol": 1, "version": "0"}\', flush=True)\n'


@pytest.mark.parametrize("script, error, message", [
    (None, qd7310.ProgramEnded, "cannot start"),
    ("import sys\nsys.exit('qd7310-ctl: cannot start here')", qd7310.ProgramEnded,
     "cannot start here"),
    ('print(\'{"program": "qd7310-ctl", "protocol": 2}\', flush=True)', qd7310.Error,
     "protocol 1"),
    (GREETING + "import sys\ninput()\nsys.exit('qd7310-ctl: lost it')", qd7310.ProgramEnded,
     "lost it"),
    (GREETING + "import time\ntime.sleep(60)", qd7310.Timeout, "no reply"),
])
def test_a_program_that_fails_raises_error_at_once(tmp_path, script, error, message):
    program = tmp_path / "qd7310-ctl"
    if script is not None:
        executable(program, "#!%s\n%s\n" % (sys.executable, script))
    with pytest.raises(error, match=message):
        with qd7310.Session(program=program, timeout=None) as s:
            s.status(timeout=1)


WINDOWS_DEVICE = r"\\?\hid#vid_1234&pid_5678#7&2f0&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"


@pytest.mark.parametrize("example, args, code, files", [
    ("current_sweep.py", ["--simulated", "sweep.csv"], 0, 1),
    ("two_boards.py", ["--simulated", "left", WINDOWS_DEVICE], 0, 2),
    ("current_sweep.py", ["--board", "nowhere", "sweep.csv"], 1, 1),
    ("current_sweep.py", ["--simulated", "no/such/folder.csv"], 73, 0),
    ("current_sweep.py", ["--simulated"], 64, 0),
    ("two_boards.py", ["--simulated", "a/b", "a:b"], 64, 0),
    ("two_boards.py", ["left", "right"], 1, 2),
])
def test_examples_sweep_or_exit_as_the_tool_does(tmp_path, example, args, code, files):
    done = subprocess.run([sys.executable, str(EXAMPLES / example)] + args, cwd=tmp_path,
                          timeout=60, stderr=subprocess.PIPE, text=True)
    assert done.returncode == code, done.stderr
    assert len(list(tmp_path.glob("*.csv"))) == files
    for name in tmp_path.glob("*.csv") if code == 0 else []:
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


def test_setups_and_exports_through_quoted_paths(tmp_path):
    path = tmp_path / 'led "3" \\ lab.qd7310'
    with qd7310.Session(simulated=True) as s:
        want = s.settings(current=3, on1=7)
        s.save_setup(path)
        assert s.load_setup(path)["ok"] and '"command": "train 3"' in s.export("json", "train", 3)
    with qd7310.Session(simulated=True, setup=path) as s:
        assert s.settings() == dict(want, request=1)


@pytest.mark.skipif("QD7310_VENV_VERSION" not in os.environ,
                    reason="needs QD7310_VENV_VERSION, python3-venv, python3-wheel")
def test_pip_installs_into_a_fresh_venv_and_drives_the_session(tmp_path):
    # Debian's setuptools and wheel come from the system's site: no package index is reached.
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(tmp_path)],
                   check=True)
    python = str(tmp_path / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-index", str(SOURCE / "python")], check=True, cwd=tmp_path)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    out = subprocess.run([python, "-c", "import qd7310\nwith qd7310.Session(simulated=True) as s:"
                          "\n print(qd7310.__file__, qd7310.__version__, s.spi_read(3)['ok'])"],
                         check=True, cwd=tmp_path, env=env, capture_output=True, text=True)
    assert out.stdout.startswith(str(tmp_path))
    assert out.stdout.split()[1:] == [os.environ["QD7310_VENV_VERSION"], "True"]
